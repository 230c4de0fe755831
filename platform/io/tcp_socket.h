#pragma once
// TCP sockets for simulated devices: a listening socket on 127.0.0.1 with the one accepted
// connection (the device's server side), a connection to a host and port (the RFC 2217 client
// side), and a waiter that sleeps until one of them is ready, a deadline passes, or another
// thread wakes it. Non-blocking throughout.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

class TcpConnection {
  public:
    virtual ~TcpConnection() = default;
    // Bytes read (0 when nothing is waiting), or nothing when the peer has closed or the
    // connection failed.
    [[nodiscard]] virtual std::optional<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
    // Bytes accepted by the socket (possibly fewer than given), or nothing on failure.
    [[nodiscard]] virtual std::optional<std::size_t> write(std::span<const std::uint8_t> data) = 0;
    // Shuts the connection down at once (a reset, as when a cable is pulled).
    virtual void abort() = 0;
    // Ends the sending side in order (the peer reads the end of the stream); reading goes on
    // until the peer closes too.
    virtual void finish_sending() = 0;

    // Connects to 127.0.0.1:`port` (for tests and tools). Null with a reason in `error`.
    [[nodiscard]] static std::unique_ptr<TcpConnection> connect_local(std::uint16_t port,
                                                                      std::string& error);
    // Connects to `host` (a name or an address) at `port`, giving up after `limit_ms`. Null
    // with the last error set: kErrorFileNotFound when the name is unknown or nobody listens.
    [[nodiscard]] static std::unique_ptr<TcpConnection>
    connect(const std::string& host, const std::string& port, std::uint32_t limit_ms);
};

class TcpListener {
  public:
    // Listens on 127.0.0.1:`port` (0: any free port). Null with a reason in `error`.
    [[nodiscard]] static std::unique_ptr<TcpListener> listen(std::uint16_t port,
                                                             std::string& error);
    virtual ~TcpListener() = default;
    virtual std::uint16_t port() const = 0;
    // A waiting connection, or null when none is waiting.
    virtual std::unique_ptr<TcpConnection> accept() = 0;
};

struct TcpWaitResult {
    bool listener_ready = false;
    bool connection_readable = false;
    bool connection_writable = false;
    bool woken = false; // wake() ended the wait
};

class TcpWaiter {
  public:
    [[nodiscard]] static std::unique_ptr<TcpWaiter> create(std::string& error);
    virtual ~TcpWaiter() = default;
    // Waits for the listener (when given), the connection (readable; also writable when
    // `want_write`), a wake() or the deadline (none: no limit).
    virtual TcpWaitResult wait(TcpListener* listener, TcpConnection* connection, bool want_write,
                               std::optional<std::chrono::steady_clock::time_point> deadline) = 0;
    // Any thread: ends the current or next wait().
    virtual void wake() = 0;
    // Drops a wake() that no wait() has taken yet (before an operation that wake() may end).
    virtual void clear() = 0;
};

} // namespace platform
