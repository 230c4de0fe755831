#!/usr/bin/python3
"""A pseudo-terminal in front of an RFC 2217 port: what a program writes to the terminal goes
to the port, what the port sends comes out of the terminal.

    pty_bridge.py rfc2217://127.0.0.1:PORT

Prints the terminal's path (/dev/pts/N) as the first line of standard output, then relays
until standard input closes. A pseudo-terminal carries bytes only: no break, no line settings
(the port is set to the terminal's 57600 baud, 8N1, once).
"""
import os
import select
import sys
import threading
import tty

import serial


def main():
    port = serial.serial_for_url(sys.argv[1], baudrate=57600, timeout=0.05)
    master, slave = os.openpty()
    tty.setraw(slave)
    print(os.ttyname(slave), flush=True)

    def from_port():
        while True:
            try:
                data = port.read(4096)
            except (serial.SerialException, OSError):
                return
            if data:
                os.write(master, data)

    threading.Thread(target=from_port, daemon=True).start()
    while True:
        ready, _, _ = select.select([master, sys.stdin], [], [])
        if sys.stdin in ready and not sys.stdin.readline():
            return
        if master in ready:
            try:
                data = os.read(master, 4096)
            except OSError:  # no program holds the terminal's other end just now
                select.select([], [], [], 0.05)
                continue
            port.write(data)


if __name__ == "__main__":
    main()
