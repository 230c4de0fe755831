// POSIX sockets for the simulated port's TCP side.
#include "platform/foundation/last_error.h"
#include "platform/io/tcp_socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_;
};

class PosixConnection final : public TcpConnection {
  public:
    explicit PosixConnection(int fd) : fd_(fd) {
        const int one = 1;
        // Only a speed-up for the small frames of the protocol; ignored on failure.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    int fd() const { return fd_.get(); }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        while (true) {
            const ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
            if (n > 0) {
                return static_cast<std::size_t>(n);
            }
            if (n == 0) {
                return std::nullopt; // closed by the peer
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return 0;
            }
            return std::nullopt;
        }
    }

    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        while (true) {
            const ssize_t n = ::send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL);
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return 0;
            }
            return std::nullopt;
        }
    }

    void finish_sending() override {
        if (fd_.get() >= 0) {
            ::shutdown(fd_.get(), SHUT_WR);
        }
    }

    void abort() override {
        if (fd_.get() >= 0) {
            const linger reset{1, 0};
            ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            fd_.close();
        }
    }

  private:
    Fd fd_;
};

class PosixListener final : public TcpListener {
  public:
    PosixListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
    int fd() const { return fd_.get(); }
    std::uint16_t port() const override { return port_; }

    std::unique_ptr<TcpConnection> accept() override {
        while (true) {
            const int fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                return std::make_unique<PosixConnection>(fd);
            }
            if (errno != EINTR) {
                return nullptr;
            }
        }
    }

  private:
    Fd fd_;
    std::uint16_t port_;
};

class PosixWaiter final : public TcpWaiter {
  public:
    explicit PosixWaiter(int fd) : event_(fd) {}

    TcpWaitResult wait(TcpListener* listener, TcpConnection* connection, bool want_write,
                       std::optional<std::chrono::steady_clock::time_point> deadline) override {
        pollfd fds[3] = {};
        nfds_t count = 0;
        fds[count++] = pollfd{event_.get(), POLLIN, 0};
        int listener_index = -1;
        int connection_index = -1;
        if (listener != nullptr) {
            listener_index = static_cast<int>(count);
            fds[count++] = pollfd{static_cast<PosixListener*>(listener)->fd(), POLLIN, 0};
        }
        if (connection != nullptr) {
            connection_index = static_cast<int>(count);
            const short events = static_cast<short>(POLLIN | (want_write ? POLLOUT : 0));
            fds[count++] = pollfd{static_cast<PosixConnection*>(connection)->fd(), events, 0};
        }
        int timeout_ms = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            timeout_ms = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60000));
        }
        TcpWaitResult result;
        const int ready = ::poll(fds, count, timeout_ms);
        if (ready <= 0) {
            return result;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            clear();
            result.woken = true;
        }
        if (listener_index >= 0) {
            result.listener_ready = fds[listener_index].revents != 0;
        }
        if (connection_index >= 0) {
            const short revents = fds[connection_index].revents;
            result.connection_readable = (revents & (POLLIN | POLLHUP | POLLERR)) != 0;
            result.connection_writable = (revents & POLLOUT) != 0;
        }
        return result;
    }

    void wake() override {
        const std::uint64_t one = 1;
        // Fails only when the counter is full, and then a wake is pending anyway.
        [[maybe_unused]] const ssize_t n = ::write(event_.get(), &one, sizeof one);
    }

    void clear() override {
        std::uint64_t value = 0;
        // Fails when no wake is pending: nothing to drop.
        [[maybe_unused]] const ssize_t n = ::read(event_.get(), &value, sizeof value);
    }

  private:
    Fd event_;
};

} // namespace

std::unique_ptr<TcpListener> TcpListener::listen(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    auto fail = [&](const char* what) -> std::unique_ptr<TcpListener> {
        error = std::string(what) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    };
    const int one = 1;
    // Lets a restarted simulator take its port again at once; ignored on failure.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return fail("bind");
    }
    if (::listen(fd, 4) != 0) {
        return fail("listen");
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return fail("getsockname");
    }
    return std::make_unique<PosixListener>(fd, ntohs(address.sin_port));
}

std::unique_ptr<TcpConnection> TcpConnection::connect_local(std::uint16_t port,
                                                            std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::make_unique<PosixConnection>(fd);
}

namespace {

// Waits for a non-blocking connect to end: its error (0 when connected), ETIMEDOUT after the
// limit. A signal during the wait does not end it.
int await_connect(int fd, std::uint32_t limit_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return ETIMEDOUT;
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT32_MAX)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready != 1) {
            return ready == 0 ? ETIMEDOUT : errno;
        }
        int so_error = 0;
        socklen_t length = sizeof so_error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &length) != 0) {
            return errno;
        }
        return so_error;
    }
}

// Connects one socket of the address list, non-blocking, with a limit. -1 with the last error.
int connect_one(const addrinfo& address, std::uint32_t limit_ms) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        set_last_error_from_errno(errno);
        return -1;
    }
    int result = ::connect(fd, address.ai_addr, address.ai_addrlen);
    // A signal that interrupts the connect leaves it going on, as EINPROGRESS does.
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        const int so_error = await_connect(fd, limit_ms);
        result = so_error == 0 ? 0 : -1;
        errno = so_error;
    }
    if (result != 0) {
        // Nobody listening there: no such port.
        set_last_error((errno == ECONNREFUSED || errno == ETIMEDOUT || errno == EHOSTUNREACH ||
                        errno == ENETUNREACH)
                           ? kErrorFileNotFound
                           : error_from_errno(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::unique_ptr<TcpConnection>
TcpConnection::connect(const std::string& host, const std::string& port, std::uint32_t limit_ms) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    int fd = -1;
    for (addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
        fd = connect_one(*ai, limit_ms);
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<PosixConnection>(fd);
}

std::unique_ptr<TcpWaiter> TcpWaiter::create(std::string& error) {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixWaiter>(fd);
}

} // namespace platform
