#!/usr/bin/python3
"""An RFC 2217 server from python3-serial over a loop-back port (what is written comes back).

Prints the TCP port it listens on (127.0.0.1, chosen by the system) as the first line of
standard output. Serves one client at a time; a second connection is closed at once, as a
port held by another program. Ends when standard input closes.
"""
import socket
import sys
import threading

import serial
import serial.rfc2217


class Connection:
    """The write function PortManager needs, safe for the two threads that send."""

    def __init__(self, sock):
        self.sock = sock
        self.lock = threading.Lock()

    def write(self, data):
        with self.lock:
            try:
                self.sock.sendall(data)
            except OSError:
                pass


def serve(sock, port, busy):
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    connection = Connection(sock)
    manager = serial.rfc2217.PortManager(port, connection)
    alive = threading.Event()
    alive.set()

    def towards_client():
        while alive.is_set():
            data = port.read(port.in_waiting or 1)
            if data:
                connection.write(b"".join(manager.escape(data)))

    reader = threading.Thread(target=towards_client, daemon=True)
    reader.start()
    try:
        while True:
            data = sock.recv(65536)
            if not data:
                break
            port.write(b"".join(manager.filter(data)))
    except OSError:
        pass
    finally:
        alive.clear()
        reader.join()
        sock.close()
        port.reset_input_buffer()
        busy.release()


def main():
    port = serial.serial_for_url("loop://", timeout=0.02)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), listener.close()), daemon=True).start()
    busy = threading.Lock()
    while True:
        try:
            sock, _ = listener.accept()
        except OSError:
            return
        if not busy.acquire(blocking=False):
            sock.close()
            continue
        threading.Thread(target=serve, args=(sock, port, busy), daemon=True).start()


if __name__ == "__main__":
    main()
