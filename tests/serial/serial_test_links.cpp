#include "serial_test_links.h"

#include "sim/rfc2217_session.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace serial_test {

namespace {

// --- python3-serial ---------------------------------------------------------------------

class PythonLink final : public EchoLink {
  public:
    PythonLink() {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string script = MORLIN_SOURCE_DIR "/tests/serial/rfc2217_loop_server.py";
        char python[] = "/usr/bin/python3";
        std::string script_arg = script;
        char* argv[] = {python, script_arg.data(), nullptr};
        if (::posix_spawn(&pid_, python, &actions, nullptr, argv, environ) != 0) {
            throw std::runtime_error("cannot start python3");
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        std::string line;
        pollfd p{stdout_, POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 15000) == 1) {
            char buffer[64];
            const ssize_t n = ::read(stdout_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(n));
        }
        const int port = std::atoi(line.c_str());
        if (port <= 0) {
            throw std::runtime_error("the python RFC 2217 server did not start");
        }
        name_ = "rfc2217://127.0.0.1:" + std::to_string(port);
    }

    ~PythonLink() override {
        unplug();
        ::close(stdin_);
        ::close(stdout_);
    }

    std::string port_name() const override { return name_; }

    void unplug() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string name_;
};

// --- the simulator's session ------------------------------------------------------------

class SessionLink final : public EchoLink, public sim::LineSink {
  public:
    SessionLink() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen");
        }
        name_ = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        wake_ = ::eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }

    ~SessionLink() override {
        stopping_ = true;
        wake();
        thread_.join();
        close_client();
        ::close(listener_);
        ::close(wake_);
    }

    std::string port_name() const override { return name_; }
    void unplug() override {
        unplug_ = true;
        wake();
        while (unplug_) {
            std::this_thread::yield();
        }
    }
    bool sees_break() const override { return true; }
    std::vector<bool> breaks() const override {
        std::lock_guard lock(mutex_);
        return breaks_;
    }
    void hold(bool on) override {
        hold_ = on;
        wake();
    }

  private:
    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }

    void close_client() {
        if (client_ >= 0) {
            ::close(client_);
            client_ = -1;
        }
        session_.reset();
    }

    void send_out() {
        std::size_t sent = 0;
        while (sent < out_.size() && client_ >= 0) {
            const ssize_t n = ::send(client_, out_.data() + sent, out_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                close_client();
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        out_.clear();
    }

    void run() {
        std::vector<std::uint8_t> buffer(64 * 1024);
        while (!stopping_) {
            pollfd fds[3] = {{wake_, POLLIN, 0}, {listener_, POLLIN, 0}, {client_, POLLIN, 0}};
            if (::poll(fds, client_ >= 0 && !hold_ ? 3 : 2, -1) < 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                std::uint64_t count;
                [[maybe_unused]] auto n = ::read(wake_, &count, sizeof count);
                if (unplug_) {
                    close_client();
                    unplug_ = false;
                }
                continue;
            }
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0 && client_ >= 0) {
                    ::close(fd); // the port is held: hang up at once
                } else if (fd >= 0) {
                    client_ = fd;
                    const int one = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    session_ = std::make_unique<sim::Rfc2217Session>(*this);
                    session_->start(out_);
                    send_out();
                }
            }
            if (client_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t n = ::recv(client_, buffer.data(), buffer.size(), 0);
                if (n <= 0) {
                    close_client();
                    continue;
                }
                session_->receive(std::span(buffer.data(), static_cast<std::size_t>(n)), out_);
                send_out();
            }
        }
    }

    void line_data(std::span<const std::uint8_t> data) override {
        sim::Rfc2217Session::append_data(out_, data); // the echo
    }
    void line_break(bool on) override {
        std::lock_guard lock(mutex_);
        breaks_.push_back(on);
    }
    void line_purge(std::uint8_t) override {}
    void line_settings_changed() override {}

    int listener_ = -1;
    int client_ = -1;
    int wake_ = -1;
    std::string name_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> unplug_{false};
    std::atomic<bool> hold_{false};
    std::unique_ptr<sim::Rfc2217Session> session_;
    std::vector<std::uint8_t> out_;
    mutable std::mutex mutex_;
    std::vector<bool> breaks_;
    std::thread thread_;
};

// --- pseudo-terminal --------------------------------------------------------------------

class PtyLink final : public EchoLink {
  public:
    PtyLink() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        name_ = ::ptsname(master_);
        wake_ = ::eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }
    ~PtyLink() override { unplug(); }

    std::string port_name() const override { return name_; }
    void unplug() override {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
            thread_.join();
            ::close(master_);
            ::close(wake_);
        }
    }

  private:
    void run() {
        std::array<std::uint8_t, 4096> buffer;
        for (;;) {
            pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
            ::poll(fds, 2, -1);
            if (fds[0].revents & POLLIN) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(master_, buffer.data(), buffer.size());
                std::size_t sent = 0;
                while (n > 0 && sent < static_cast<std::size_t>(n)) {
                    const ssize_t w =
                        ::write(master_, buffer.data() + sent, static_cast<std::size_t>(n) - sent);
                    if (w <= 0) {
                        break;
                    }
                    sent += static_cast<std::size_t>(w);
                }
            } else if (fds[1].revents & (POLLHUP | POLLERR)) {
                // No slave open (yet or any more): wait for the next one.
                ::poll(fds, 1, 5);
            }
        }
    }

    int master_ = -1;
    int wake_ = -1;
    std::string name_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<EchoLink> start_python_link() {
    return std::make_unique<PythonLink>();
}
std::unique_ptr<EchoLink> start_session_link() {
    return std::make_unique<SessionLink>();
}
std::unique_ptr<EchoLink> start_pty_link() {
    return std::make_unique<PtyLink>();
}

} // namespace serial_test
