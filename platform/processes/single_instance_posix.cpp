// The single-instance section on Linux: a lock file "<name>.lock" in the user's runtime
// folder ($XDG_RUNTIME_DIR/morlin, else the state folder), held with flock. The folder is the
// user's own and private, so no other user can take the name; the kernel drops the lock when
// the holder's descriptor closes, also when it crashes, so a dead instance never blocks the
// next start. The holder listens on "<name>.sock" beside the lock; a second instance sends
// it an activation request there, without ever waiting for it.
#include "platform/files/user_folders.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

constexpr char kActivationRequest[] = "ACTIVATE\n";
constexpr int kAcquireAttempts = 5;

// The folder and file stem of the section `name`. MORLIN_INSTANCE_SCOPE gives runs that must
// not meet (parallel tests) sections of their own; a hash keeps the name short.
std::string section_stem(std::string_view name) {
    std::string stem(name);
    if (const char* scope = std::getenv("MORLIN_INSTANCE_SCOPE"); scope != nullptr && *scope) {
        stem += "-" + std::to_string(std::hash<std::string_view>{}(scope));
    }
    return stem;
}

// The socket address of a path; nothing when the path is too long for one.
std::optional<sockaddr_un> socket_address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

const sockaddr* as_socket_address(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

// The holder's listening socket; -1 when there is none (activation is then not offered).
// The caller holds the lock, so a socket file left by a dead holder can go.
int listen_for_activation(const std::string& path) {
    const auto address = socket_address(path);
    if (!address) {
        return -1;
    }
    (void)::unlink(path.c_str()); // a stale socket of a dead holder, or nothing
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::bind(fd, as_socket_address(*address), sizeof *address) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Asks the holder to come to the front, never waiting: a holder that is stopped or slow
// simply misses the request. False when nobody listens.
bool send_activation(const std::string& path) {
    const auto address = socket_address(path);
    if (!address) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    bool sent = false;
    if (::connect(fd, as_socket_address(*address), sizeof *address) == 0) {
        const ssize_t put = ::send(fd, kActivationRequest, sizeof kActivationRequest - 1,
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = put == static_cast<ssize_t>(sizeof kActivationRequest - 1);
    }
    ::close(fd);
    return sent;
}

class PosixSingleInstance final : public SingleInstance {
  public:
    // Takes over the locked file, the listening socket (or -1) and both ends of the stop pipe.
    PosixSingleInstance(int lock, int listener, std::string socket_path, const int (&stop_pipe)[2])
        : lock_(lock), listener_(listener), socket_path_(std::move(socket_path)),
          stop_read_(stop_pipe[0]), stop_write_(stop_pipe[1]) {
        if (listener_ >= 0) {
            thread_ = std::thread([this] { serve(); });
        }
    }

    ~PosixSingleInstance() override {
        if (thread_.joinable()) {
            char byte = 0;
            // The pipe has room for the one byte; the thread ends on it.
            (void)!::write(stop_write_, &byte, 1);
            thread_.join();
        }
        if (listener_ >= 0) {
            ::close(listener_);
            (void)::unlink(socket_path_.c_str()); // still under the lock: no one else's socket
        }
        ::close(stop_read_);
        ::close(stop_write_);
        ::close(lock_); // releases the lock
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

    int lock_;
    int listener_;
    std::string socket_path_;
    int stop_read_;
    int stop_write_;
    std::mutex mutex_;
    std::function<void()> handler_;
    std::thread thread_;
};

// Opens the lock file: a regular file of this folder, never a symbolic link. -1 on failure.
int open_lock_file(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        set_last_error_from_errno(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        set_last_error(kErrorAccessDenied);
        return -1;
    }
    return fd;
}

std::unique_ptr<SingleInstance> hold(int lock, const std::string& socket_path) {
    int stop_pipe[2];
    if (::pipe2(stop_pipe, O_CLOEXEC) != 0) {
        set_last_error_from_errno(errno);
        ::close(lock);
        return nullptr;
    }
    const int listener = listen_for_activation(socket_path);
    set_last_error(kErrorSuccess);
    return std::make_unique<PosixSingleInstance>(lock, listener, socket_path, stop_pipe);
}

} // namespace

bool SingleInstance::running_instance_came_to_front() {
    return true;
}

std::unique_ptr<SingleInstance> SingleInstance::acquire(std::string_view name,
                                                        const std::vector<std::string>&) {
    const auto folder = user_runtime_directory("morlin");
    if (!folder) {
        return nullptr; // last error says why
    }
    const std::string stem = *folder + "/" + section_stem(name);
    const std::string socket_path = stem + ".sock";
    const int lock = open_lock_file(stem + ".lock");
    if (lock < 0) {
        return nullptr;
    }
    // A holder may end between our try and its activation; try a few times, never waiting.
    for (int attempt = 0; attempt < kAcquireAttempts; ++attempt) {
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            return hold(lock, socket_path);
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            set_last_error_from_errno(errno);
            ::close(lock);
            return nullptr;
        }
        if (send_activation(socket_path)) {
            break;
        }
    }
    ::close(lock);
    set_last_error(kErrorAlreadyExists);
    return nullptr;
}

} // namespace platform
