// The single-instance section on Linux: an abstract AF_UNIX socket "\0morlin-<name>-<uid>"
// that the holding instance listens on. The kernel frees the name when the holder's last
// descriptor closes, also when it crashes, so a dead instance never blocks the next start.
// A second instance connects and sends an activation request instead.
#include "platform/last_error.h"
#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

constexpr char kActivationRequest[] = "ACTIVATE\n";

struct SocketName {
    sockaddr_un address{};
    socklen_t length = 0;
};

SocketName socket_name(std::string_view name) {
    SocketName result;
    result.address.sun_family = AF_UNIX;
    std::string text = "morlin-" + std::string(name) + "-" + std::to_string(::getuid());
    // MORLIN_INSTANCE_SCOPE gives runs that must not meet (parallel tests) sections of their
    // own; a hash keeps the name short whatever the scope.
    if (const char* scope = std::getenv("MORLIN_INSTANCE_SCOPE"); scope != nullptr && *scope) {
        text += "-" + std::to_string(std::hash<std::string_view>{}(scope));
    }
    // Abstract name: a leading zero byte, then the text (cut to the room there is).
    std::size_t room = sizeof(result.address.sun_path) - 1;
    std::size_t used = text.size() < room ? text.size() : room;
    std::memcpy(result.address.sun_path + 1, text.data(), used);
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + used);
    return result;
}

int new_socket() {
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

const sockaddr* as_address(const SocketName& name) {
    return reinterpret_cast<const sockaddr*>(&name.address);
}

class PosixSingleInstance final : public SingleInstance {
  public:
    // Takes over the listening socket and both ends of the stop pipe.
    PosixSingleInstance(int listener, const int (&stop_pipe)[2])
        : listener_(listener), stop_read_(stop_pipe[0]), stop_write_(stop_pipe[1]) {
        thread_ = std::thread([this] { serve(); });
    }

    ~PosixSingleInstance() override {
        char byte = 0;
        (void)!::write(stop_write_, &byte, 1);
        thread_.join();
        ::close(listener_);
        ::close(stop_read_);
        ::close(stop_write_);
    }

    PosixSingleInstance(const PosixSingleInstance&) = delete;
    PosixSingleInstance& operator=(const PosixSingleInstance&) = delete;

    void on_activation_request(std::function<void()> handler) override {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

  private:
    // Background thread: accepts second instances and runs the handler for each request.
    void serve() {
        for (;;) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
            int ready = ::poll(fds, 2, -1);
            if (ready < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents != 0) {
                return;
            }
            if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
                handle_connection();
            }
        }
    }

    void handle_connection() {
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            return;
        }
        // The request is short; a peer that sends nothing is given up after 1 s.
        char buffer[sizeof kActivationRequest] = {};
        std::size_t got = 0;
        while (got < sizeof kActivationRequest - 1) {
            pollfd fd = {connection, POLLIN, 0};
            if (::poll(&fd, 1, 1000) <= 0) {
                break;
            }
            ssize_t part = ::read(connection, buffer + got, sizeof kActivationRequest - 1 - got);
            if (part <= 0) {
                break;
            }
            got += static_cast<std::size_t>(part);
        }
        ::close(connection);
        if (got != sizeof kActivationRequest - 1 ||
            std::memcmp(buffer, kActivationRequest, got) != 0) {
            return;
        }
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            handler = handler_;
        }
        if (handler) {
            handler();
        }
    }

    int listener_;
    int stop_read_;
    int stop_write_;
    std::mutex mutex_;
    std::function<void()> handler_;
    std::thread thread_;
};

// Asks the holder to come to the front. False when nobody listens (the holder just ended).
bool send_activation(const SocketName& name) {
    int fd = new_socket();
    if (fd < 0) {
        return false;
    }
    bool sent = false;
    if (::connect(fd, as_address(name), name.length) == 0) {
        ssize_t put = ::send(fd, kActivationRequest, sizeof kActivationRequest - 1, MSG_NOSIGNAL);
        sent = put == static_cast<ssize_t>(sizeof kActivationRequest - 1);
    }
    ::close(fd);
    return sent;
}

} // namespace

std::unique_ptr<SingleInstance> SingleInstance::acquire(std::string_view name) {
    SocketName address = socket_name(name);
    // A holder may end between our bind and connect; try a few times before giving up.
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fd = new_socket();
        if (fd < 0) {
            set_last_error_from_errno(errno);
            return nullptr;
        }
        if (::bind(fd, as_address(address), address.length) == 0 && ::listen(fd, 8) == 0) {
            int stop_pipe[2];
            if (::pipe2(stop_pipe, O_CLOEXEC) != 0) {
                set_last_error_from_errno(errno);
                ::close(fd);
                return nullptr;
            }
            set_last_error(kErrorSuccess);
            return std::make_unique<PosixSingleInstance>(fd, stop_pipe);
        }
        int error = errno;
        ::close(fd);
        if (error != EADDRINUSE) {
            set_last_error_from_errno(error);
            return nullptr;
        }
        if (send_activation(address)) {
            set_last_error(kErrorAlreadyExists);
            return nullptr;
        }
    }
    set_last_error(kErrorAlreadyExists);
    return nullptr;
}

} // namespace platform
