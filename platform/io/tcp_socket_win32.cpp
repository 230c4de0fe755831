// Winsock for simulated devices: non-blocking sockets, and a waiter built on WSAEventSelect
// and an event that another thread sets.
#include "platform/foundation/last_error.h"
#include "platform/io/tcp_socket.h"

#include <algorithm>
#include <mutex>
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: it keeps windows.h from pulling in the old winsock.h.
#include <windows.h>

namespace platform {
namespace {

bool winsock_ready(std::string& error) {
    static std::once_flag once;
    static int status = 0;
    std::call_once(once, [] {
        WSADATA data{};
        status = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (status != 0) {
        error = "WSAStartup failed (" + std::to_string(status) + ")";
        return false;
    }
    return true;
}

void make_non_blocking(SOCKET socket) {
    u_long on = 1;
    // A socket that stays blocking only makes a wait longer; nothing to report.
    ::ioctlsocket(socket, FIONBIO, &on);
}

bool would_block() {
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}

class Win32Connection final : public TcpConnection {
  public:
    explicit Win32Connection(SOCKET socket) : socket_(socket) {
        const BOOL one = TRUE;
        // Only a speed-up for the small frames of the protocol; ignored on failure.
        ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                     sizeof one);
        make_non_blocking(socket_);
    }
    ~Win32Connection() override { close(); }
    SOCKET socket() const { return socket_; }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        const int n = ::recv(socket_, reinterpret_cast<char*>(buffer.data()),
                             static_cast<int>(std::min<std::size_t>(buffer.size(), 1 << 20)), 0);
        if (n > 0) {
            return static_cast<std::size_t>(n);
        }
        if (n < 0 && would_block()) {
            return 0;
        }
        return std::nullopt; // closed by the peer, or reset
    }

    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        const int n = ::send(socket_, reinterpret_cast<const char*>(data.data()),
                             static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), 0);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (would_block()) {
            return 0;
        }
        return std::nullopt;
    }

    void abort() override {
        if (socket_ != INVALID_SOCKET) {
            const linger reset{1, 0};
            ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                         sizeof reset);
            close();
        }
    }

    void finish_sending() override {
        if (socket_ != INVALID_SOCKET) {
            ::shutdown(socket_, SD_SEND);
        }
    }

  private:
    void close() {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }
    SOCKET socket_;
};

class Win32Listener final : public TcpListener {
  public:
    Win32Listener(SOCKET socket, std::uint16_t port) : socket_(socket), port_(port) {}
    ~Win32Listener() override { ::closesocket(socket_); }
    SOCKET socket() const { return socket_; }
    std::uint16_t port() const override { return port_; }
    std::unique_ptr<TcpConnection> accept() override {
        const SOCKET accepted = ::accept(socket_, nullptr, nullptr);
        if (accepted == INVALID_SOCKET) {
            return nullptr;
        }
        return std::make_unique<Win32Connection>(accepted);
    }

  private:
    SOCKET socket_;
    std::uint16_t port_;
};

class Win32Waiter final : public TcpWaiter {
  public:
    Win32Waiter(HANDLE wake, HANDLE listener_event, HANDLE connection_event)
        : wake_(wake), listener_event_(listener_event), connection_event_(connection_event) {}
    ~Win32Waiter() override {
        ::CloseHandle(wake_);
        ::WSACloseEvent(listener_event_);
        ::WSACloseEvent(connection_event_);
    }

    TcpWaitResult wait(TcpListener* listener, TcpConnection* connection, bool want_write,
                       std::optional<std::chrono::steady_clock::time_point> deadline) override {
        HANDLE handles[3] = {wake_};
        DWORD count = 1;
        SOCKET listening = INVALID_SOCKET;
        SOCKET connected = INVALID_SOCKET;
        // Events are reset first: WSAEventSelect sets them again at once for what is ready now.
        ::WSAResetEvent(listener_event_);
        ::WSAResetEvent(connection_event_);
        if (listener != nullptr) {
            listening = static_cast<Win32Listener*>(listener)->socket();
            ::WSAEventSelect(listening, listener_event_, FD_ACCEPT);
            handles[count++] = listener_event_;
        }
        if (connection != nullptr) {
            connected = static_cast<Win32Connection*>(connection)->socket();
            ::WSAEventSelect(connected, connection_event_,
                             FD_READ | FD_CLOSE | (want_write ? FD_WRITE : 0));
            handles[count++] = connection_event_;
        }
        DWORD timeout = INFINITE;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            timeout = static_cast<DWORD>(std::clamp<std::int64_t>(left.count(), 0, 60000));
        }
        TcpWaitResult result;
        // What is ready now is reported without waiting.
        if (ready_now(listening, connected, want_write, result)) {
            return result;
        }
        const DWORD signalled = ::WaitForMultipleObjects(count, handles, FALSE, timeout);
        if (signalled == WAIT_OBJECT_0) {
            result.woken = true;
            return result;
        }
        ready_now(listening, connected, want_write, result);
        return result;
    }

    void wake() override { ::SetEvent(wake_); }
    void clear() override { ::ResetEvent(wake_); }

  private:
    // Polls the sockets without waiting; true when something is ready or a wake is pending.
    bool ready_now(SOCKET listening, SOCKET connected, bool want_write, TcpWaitResult& result) {
        if (::WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0) {
            ::ResetEvent(wake_);
            result.woken = true;
            return true;
        }
        fd_set readable;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (listening != INVALID_SOCKET) {
            FD_SET(listening, &readable);
        }
        if (connected != INVALID_SOCKET) {
            FD_SET(connected, &readable);
            FD_SET(connected, &failed);
            if (want_write) {
                FD_SET(connected, &writable);
            }
        }
        if (readable.fd_count == 0) {
            return false;
        }
        timeval now{0, 0};
        if (::select(0, &readable, &writable, &failed, &now) <= 0) {
            return false;
        }
        result.listener_ready = listening != INVALID_SOCKET && FD_ISSET(listening, &readable);
        result.connection_readable =
            connected != INVALID_SOCKET &&
            (FD_ISSET(connected, &readable) || FD_ISSET(connected, &failed));
        result.connection_writable = connected != INVALID_SOCKET && FD_ISSET(connected, &writable);
        return result.listener_ready || result.connection_readable || result.connection_writable;
    }

    HANDLE wake_;
    HANDLE listener_event_;
    HANDLE connection_event_;
};

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Connects one address with a limit. INVALID_SOCKET with the last error set.
SOCKET connect_one(const addrinfo& address, std::uint32_t limit_ms) {
    const SOCKET s = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (s == INVALID_SOCKET) {
        set_last_error(static_cast<std::uint32_t>(::WSAGetLastError()));
        return INVALID_SOCKET;
    }
    make_non_blocking(s);
    if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0 &&
        ::WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit{static_cast<long>(limit_ms / 1000),
                      static_cast<long>(limit_ms % 1000) * 1000};
        if (::select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(s, &writable)) {
            return s;
        }
    }
    // Nobody listening there: no such port.
    set_last_error(kErrorFileNotFound);
    ::closesocket(s);
    return INVALID_SOCKET;
}

} // namespace

std::unique_ptr<TcpListener> TcpListener::listen(std::uint16_t port, std::string& error) {
    if (!winsock_ready(error)) {
        return nullptr;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = "socket: " + std::to_string(::WSAGetLastError());
        return nullptr;
    }
    sockaddr_in address = loopback(port);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "listen: " + std::to_string(::WSAGetLastError());
        ::closesocket(s);
        return nullptr;
    }
    make_non_blocking(s);
    return std::make_unique<Win32Listener>(s, ntohs(address.sin_port));
}

std::unique_ptr<TcpConnection> TcpConnection::connect_local(std::uint16_t port,
                                                            std::string& error) {
    if (!winsock_ready(error)) {
        return nullptr;
    }
    auto connection = connect("127.0.0.1", std::to_string(port), 5000);
    if (!connection) {
        error = "connect: error " + std::to_string(last_error());
    }
    return connection;
}

std::unique_ptr<TcpConnection>
TcpConnection::connect(const std::string& host, const std::string& port, std::uint32_t limit_ms) {
    std::string error;
    if (!winsock_ready(error)) {
        set_last_error(kErrorNotSupported);
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* ai = found; ai != nullptr && s == INVALID_SOCKET; ai = ai->ai_next) {
        s = connect_one(*ai, limit_ms);
    }
    ::freeaddrinfo(found);
    if (s == INVALID_SOCKET) {
        return nullptr;
    }
    return std::make_unique<Win32Connection>(s);
}

std::unique_ptr<TcpWaiter> TcpWaiter::create(std::string& error) {
    if (!winsock_ready(error)) {
        return nullptr;
    }
    HANDLE wake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WSAEVENT listener_event = ::WSACreateEvent();
    WSAEVENT connection_event = ::WSACreateEvent();
    if (wake == nullptr || listener_event == WSA_INVALID_EVENT ||
        connection_event == WSA_INVALID_EVENT) {
        error = "CreateEvent failed";
        return nullptr;
    }
    return std::make_unique<Win32Waiter>(wake, listener_event, connection_event);
}

} // namespace platform
