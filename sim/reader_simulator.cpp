#include "sim/reader_simulator.h"

#include "platform/io/tcp_socket.h"
#include "sim/announcement.h"
#include "sim/reader_answers.h"
#include "sim/rfc2217_session.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>
#include <thread>

namespace sim {
namespace {

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// Serves one TCP connection until it ends or the simulator stops; `serve` is called with the
// received bytes and appends what goes back.
class ConnectionLoop {
  public:
    template <typename Serve>
    static void run(platform::TcpConnection& connection, platform::TcpWaiter& waiter,
                    const std::atomic<bool>& stopping, std::vector<std::uint8_t> out,
                    Serve&& serve) {
        std::size_t sent = 0;
        std::uint8_t buffer[4096];
        while (!stopping) {
            while (sent < out.size()) {
                const auto n = connection.write(std::span(out).subspan(sent));
                if (!n)
                    return;
                if (*n == 0)
                    break;
                sent += *n;
            }
            if (sent == out.size()) {
                out.clear();
                sent = 0;
            }
            waiter.wait(nullptr, &connection, !out.empty(), std::nullopt);
            const auto n = connection.read(buffer);
            if (!n)
                return;
            if (*n > 0 && !serve(std::span<const std::uint8_t>(buffer, *n), out))
                return;
        }
    }
};

class Reader final : public ReaderSimulator, private LineSink {
  public:
    explicit Reader(const ReaderOptions& options) : options_(options) {
        state_.vid = options.vid;
        state_.pid = options.pid;
        state_.fw_major = options.fw_major;
        state_.fw_minor = options.fw_minor;
        state_.faults = options.faults;
    }
    ~Reader() override { stop(); }

    bool init(std::string& error) {
        devices_dir_ = options_.devices_dir;
        if (devices_dir_.empty()) {
            const char* env = std::getenv("MORLIN_DEVICES");
            devices_dir_ = env != nullptr ? env : "";
        }
        control_listener_ = platform::TcpListener::listen(0, error);
        if (!control_listener_ || !add_server(*control_listener_, false, error))
            return false;
        if (options_.serial_port) {
            serial_listener_ = platform::TcpListener::listen(0, error);
            if (!serial_listener_ || !add_server(*serial_listener_, true, error))
                return false;
        }
        return announce(error);
    }

    std::string control_address() const override {
        return "ioctl://127.0.0.1:" + std::to_string(control_listener_->port());
    }
    std::string serial_port_name() const override { return port_name_; }
    void set_faults(const ReaderFaults& faults) override {
        std::lock_guard lock(mutex_);
        state_.faults = faults;
    }
    void set_firmware(std::uint8_t major, std::uint8_t minor) override {
        std::lock_guard lock(mutex_);
        state_.fw_major = major;
        state_.fw_minor = minor;
    }

    void stop() override {
        stopping_ = true;
        {
            std::lock_guard lock(mutex_);
            for (platform::TcpWaiter* waiter : waiters_)
                waiter->wake();
        }
        for (std::thread& thread : threads_) {
            if (thread.joinable())
                thread.join();
        }
        threads_.clear();
        for (const std::string& path : announcements_)
            remove_announcement(path);
        announcements_.clear();
    }

  private:
    ReaderState state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }

    bool announce(std::string& error) {
        if (devices_dir_.empty())
            return !(options_.announce_interface || options_.serial_port) ||
                   (error = "no devices folder: set MORLIN_DEVICES or devices_dir", false);
        const std::string vp = "Vid_" + hex4(options_.vid) + "&Pid_" + hex4(options_.pid);
        if (options_.announce_interface) {
            const std::string text =
                "[Device]\nClass=" + std::string(kReaderInterfaceClass) + "\nInstanceId=USB\\" +
                vp + "\\" + options_.serial + "\nHardwareId=USB\\" + vp +
                "\nInterfacePath=\\\\?\\USB#" + vp + "#" + options_.serial +
                "#{077e2f20-e171-4dc6-8a24-ecea3035c257}\nPort=" + control_address() + "\n";
            const auto path =
                write_announcement(devices_dir_, "reader-" + options_.serial, text, error);
            if (path.empty())
                return false;
            announcements_.push_back(path);
        }
        if (options_.serial_port) {
            port_name_ =
                options_.port_name.empty() ? free_port_name(devices_dir_) : options_.port_name;
            const std::string text =
                "[Device]\nClass={4D36E978-E325-11CE-BFC1-08002BE10318}\nInstanceId=SERENUM\\" +
                options_.serial + "\nHardwareId=" + options_.hardware_id +
                "\nPort=rfc2217://127.0.0.1:" + std::to_string(serial_listener_->port()) +
                "\n\n[DeviceKey]\nPortName=" + port_name_ + "\n";
            const auto path =
                write_announcement(devices_dir_, "serial-reader-" + options_.serial, text, error);
            if (path.empty())
                return false;
            announcements_.push_back(path);
        }
        return true;
    }

    bool add_server(platform::TcpListener& listener, bool serial, std::string& error) {
        auto waiter = platform::TcpWaiter::create(error);
        if (!waiter)
            return false;
        platform::TcpWaiter* raw = waiter.get();
        {
            std::lock_guard lock(mutex_);
            waiters_.push_back(raw);
        }
        threads_.emplace_back([this, &listener, serial, waiter = std::move(waiter)]() mutable {
            accept_loop(listener, *waiter, serial);
        });
        return true;
    }

    void accept_loop(platform::TcpListener& listener, platform::TcpWaiter& waiter, bool serial) {
        while (!stopping_) {
            waiter.wait(&listener, nullptr, false, std::nullopt);
            while (auto connection = listener.accept()) {
                if (state().faults.vanished) {
                    connection->abort();
                    continue;
                }
                std::string error;
                auto own_waiter = platform::TcpWaiter::create(error);
                if (!own_waiter)
                    continue;
                std::lock_guard lock(mutex_);
                waiters_.push_back(own_waiter.get());
                connection_threads_.emplace_back([this, serial, connection = std::move(connection),
                                                  own_waiter = std::move(own_waiter)]() mutable {
                    if (serial)
                        serve_serial(*connection, *own_waiter);
                    else
                        serve_control(*connection, *own_waiter);
                    std::lock_guard done(mutex_);
                    std::erase(waiters_, own_waiter.get());
                });
            }
        }
        std::list<std::thread> connections;
        {
            std::lock_guard lock(mutex_);
            std::erase(waiters_, &waiter);
            connections.swap(connection_threads_);
            for (platform::TcpWaiter* waiter_of_connection : waiters_)
                waiter_of_connection->wake();
        }
        for (std::thread& thread : connections)
            thread.join();
    }

    void serve_control(platform::TcpConnection& connection, platform::TcpWaiter& waiter) {
        std::vector<std::uint8_t> received;
        ConnectionLoop::run(
            connection, waiter, stopping_, {},
            [&](std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
                received.insert(received.end(), bytes.begin(), bytes.end());
                ReaderState now = state();
                if (now.faults.vanished)
                    return false;
                bool bad = false;
                while (auto request = platform::take_request(received, bad)) {
                    if (now.faults.no_answer)
                        continue;
                    if (request->code == kFirmwareLoadRequestCode && request->input.size() == 2) {
                        set_firmware(request->input[0], request->input[1]);
                        now = state();
                    }
                    const auto frame = platform::encode_reply(answer_control(now, *request));
                    out.insert(out.end(), frame.begin(), frame.end());
                }
                return !bad;
            });
        connection.abort();
    }

    void serve_serial(platform::TcpConnection& connection, platform::TcpWaiter& waiter) {
        Rfc2217Session session(*this);
        std::vector<std::uint8_t> greeting;
        session.start(greeting);
        collected_.clear();
        ConnectionLoop::run(
            connection, waiter, stopping_, std::move(greeting),
            [&](std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& back) {
                session.receive(bytes, back);
                const ReaderState now = state();
                for (std::uint8_t command : collected_)
                    Rfc2217Session::append_data(back, answer_escape(now, command));
                collected_.clear();
                return !now.faults.vanished;
            });
        connection.abort();
    }

    // LineSink of the serial side (called on its connection's thread).
    void line_data(std::span<const std::uint8_t> data) override {
        const auto commands = collector_.feed(data);
        collected_.insert(collected_.end(), commands.begin(), commands.end());
    }
    void line_break(bool) override {}
    void line_purge(std::uint8_t) override {}
    void line_settings_changed() override {}

    const ReaderOptions options_;
    mutable std::mutex mutex_;
    ReaderState state_;
    std::atomic<bool> stopping_{false};
    std::string devices_dir_;
    std::string port_name_;
    std::vector<std::string> announcements_;
    std::unique_ptr<platform::TcpListener> control_listener_;
    std::unique_ptr<platform::TcpListener> serial_listener_;
    std::vector<platform::TcpWaiter*> waiters_;
    std::vector<std::thread> threads_;
    std::list<std::thread> connection_threads_;
    // The serial side serves one connection at a time.
    EscapeFrameCollector collector_;
    std::vector<std::uint8_t> collected_;
};

} // namespace

std::unique_ptr<ReaderSimulator> ReaderSimulator::start(const ReaderOptions& options,
                                                        std::string* error) {
    auto reader = std::make_unique<Reader>(options);
    std::string reason;
    if (!reader->init(reason)) {
        reader->stop();
        if (error != nullptr)
            *error = reason;
        return nullptr;
    }
    return reader;
}

} // namespace sim
