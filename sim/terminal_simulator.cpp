#include "sim/terminal_simulator.h"

#include "platform/foundation/clock.h"
#include "platform/io/tcp_socket.h"
#include "platform/processes/process.h"
#include "sim/announcement.h"
#include "sim/line_pacer.h"
#include "sim/rfc2217_session.h"
#include "sim/terminal.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kReadsPerTurn = 8;
constexpr auto kRefusedLinger = std::chrono::seconds(2);
constexpr auto kRefusedPoll = std::chrono::milliseconds(20);

std::chrono::nanoseconds scaled_wait(std::uint32_t ms) {
    return ms == 0 ? std::chrono::nanoseconds{0} : std::chrono::nanoseconds{platform::scaled(ms)};
}

TerminalConfig config_of(const SimulatorOptions& options) {
    TerminalConfig config;
    config.response_delay = scaled_wait(options.response_delay_ms);
    config.late_answer_delay = scaled_wait(kLateAnswerMs);
    config.restart_requests = options.restart_requests;
    config.image_size = options.image_size;
    config.image_end_pause =
        options.image_end_pause_ms != 0
            ? std::chrono::milliseconds(options.image_end_pause_ms)
            : std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(scaled_wait(3000)),
                         std::chrono::milliseconds(20), std::chrono::milliseconds(100));
    config.max_response_inf = options.max_response_inf;
    config.card = CardState{options.card_present, options.card_content};
    return config;
}

std::string model_name(TerminalModel model) {
    return model == TerminalModel::Pellax ? "pellax" : "halvane";
}

class Simulator final : public TerminalSimulator, private LineSink {
  public:
    explicit Simulator(const SimulatorOptions& options)
        : options_(options), terminal_(config_of(options), options.status, options.faults),
          pacer_(LinePacer::byte_time_for(options.line_baud, platform::time_scale_percent())),
          paced_(options.line_baud != 0), port_held_(options.faults.port_held) {}

    ~Simulator() override { stop(); }

    bool init(std::string& error) {
        waiter_ = platform::TcpWaiter::create(error);
        if (!waiter_) {
            return false;
        }
        listener_ = platform::TcpListener::listen(options_.tcp_port, error);
        if (!listener_) {
            return false;
        }
        tcp_port_ = listener_->port();
        port_name_ = options_.port_name;
        if (options_.announce) {
            devices_dir_ = options_.devices_dir;
            if (devices_dir_.empty()) {
                const char* env = std::getenv("MORLIN_DEVICES");
                devices_dir_ = env != nullptr ? env : "";
            }
            if (devices_dir_.empty()) {
                error = "no devices folder: set MORLIN_DEVICES or devices_dir";
                return false;
            }
            if (port_name_.empty()) {
                port_name_ = free_port_name(devices_dir_);
            }
            device_name_ = options_.device_name.empty()
                               ? model_name(options_.model) + "-" + options_.serial
                               : options_.device_name;
            if (!announce(error)) {
                return false;
            }
        }
        plugged_ = true;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    std::uint16_t port() const override {
        std::lock_guard lock(mutex_);
        return tcp_port_;
    }
    std::string address() const override { return "rfc2217://127.0.0.1:" + std::to_string(port()); }
    std::string announcement_path() const override {
        std::lock_guard lock(mutex_);
        return announcement_path_;
    }
    std::string port_name() const override {
        std::lock_guard lock(mutex_);
        return port_name_;
    }

    void set_status(const TerminalStatus& status) override {
        std::lock_guard lock(mutex_);
        terminal_.set_status(status);
    }
    TerminalStatus status() const override {
        std::lock_guard lock(mutex_);
        return terminal_.status();
    }
    void set_faults(const Faults& faults) override {
        std::lock_guard lock(mutex_);
        terminal_.set_faults(faults);
        port_held_ = faults.port_held;
    }
    void set_card(bool present, const std::vector<std::uint8_t>& content) override {
        std::lock_guard lock(mutex_);
        terminal_.set_card(CardState{present, content.empty() ? default_card_content() : content});
    }

    std::vector<std::uint8_t> received_image() const override {
        std::lock_guard lock(mutex_);
        return terminal_.received_image();
    }
    std::vector<std::uint8_t> partial_image() const override {
        std::lock_guard lock(mutex_);
        return terminal_.partial_image();
    }
    std::uint32_t downloads_completed() const override {
        std::lock_guard lock(mutex_);
        return terminal_.downloads_completed();
    }
    bool wait_for_downloads(std::uint32_t count, std::chrono::milliseconds timeout) const override {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout,
                                 [&] { return terminal_.downloads_completed() >= count; });
    }
    bool wait_for_acknowledged_downloads(std::uint32_t count,
                                         std::chrono::milliseconds timeout) const override {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return acknowledged_downloads_ >= count; });
    }

    std::vector<LineEvent> line_log() const override {
        std::lock_guard lock(mutex_);
        return terminal_.log();
    }
    void clear_line_log() override {
        std::lock_guard lock(mutex_);
        terminal_.clear_log();
    }

    bool unplug() override { return request(Request::Unplug); }
    bool replug() override { return request(Request::Replug); }
    bool plugged_in() const override {
        std::lock_guard lock(mutex_);
        return plugged_;
    }

    void stop() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        if (waiter_) {
            waiter_->wake();
        }
        if (thread_.joinable()) {
            thread_.join();
        }
        std::lock_guard lock(mutex_);
        if (connection_) {
            connection_->abort();
            connection_.reset();
        }
        listener_.reset();
        refused_.clear();
        remove_announcement(announcement_path_);
        announcement_path_.clear();
        plugged_ = false;
    }

  private:
    enum class Request : std::uint8_t { None, Unplug, Replug };

    // ---- calls from other threads ------------------------------------------------------

    bool request(Request what) {
        std::unique_lock lock(mutex_);
        if (stop_ || !thread_.joinable()) {
            return false;
        }
        request_ = what;
        request_done_ = false;
        waiter_->wake();
        changed_.wait(lock, [&] { return request_done_ || stop_; });
        return request_done_ && request_ok_;
    }

    // ---- the server thread (holds mutex_ except while waiting) ---------------------------

    bool announce(std::string& error) {
        AnnouncementIdentity identity;
        identity.model = options_.model;
        identity.announce_as = options_.announce_as;
        identity.serial = options_.serial;
        identity.port_name = port_name_;
        identity.tcp_port = tcp_port_;
        identity.process_id = platform::current_process_id();
        announcement_path_ =
            write_announcement(devices_dir_, device_name_, announcement_text(identity), error);
        return !announcement_path_.empty();
    }

    void run() {
        std::vector<std::uint8_t> buffer(kReadChunk);
        std::unique_lock lock(mutex_);
        while (!stop_) {
            handle_request();
            const TimePoint now = Clock::now();
            if (replug_at_ && now >= *replug_at_) {
                replug_at_.reset();
                do_replug();
            }
            pump(now);
            flush();
            note_acknowledged_downloads();
            drain_refused(now, buffer);

            std::optional<TimePoint> deadline = terminal_.next_deadline();
            const auto merge = [&deadline](std::optional<TimePoint> other) {
                if (other && (!deadline || *other < *deadline)) {
                    deadline = other;
                }
            };
            merge(pacer_.next_due());
            merge(replug_at_);
            if (!refused_.empty()) {
                merge(now + kRefusedPoll);
            }
            platform::TcpListener* listener = listener_.get();
            platform::TcpConnection* connection = connection_.get();
            const bool want_write = out_sent_ < tcp_out_.size();
            lock.unlock();
            const platform::TcpWaitResult ready =
                waiter_->wait(listener, connection, want_write, deadline);
            lock.lock();
            if (stop_) {
                break;
            }
            if (ready.connection_readable && connection_.get() == connection &&
                connection != nullptr) {
                read_connection(buffer);
            }
            if (ready.listener_ready && listener_.get() == listener && listener != nullptr) {
                accept_connections(buffer);
            }
        }
        changed_.notify_all();
    }

    void handle_request() {
        if (request_ == Request::None) {
            return;
        }
        const Request what = request_;
        request_ = Request::None;
        if (what == Request::Unplug) {
            request_ok_ = plugged_;
            if (plugged_) {
                do_unplug();
            }
        } else {
            request_ok_ = !plugged_ && do_replug();
        }
        request_done_ = true;
        changed_.notify_all();
    }

    void accept_connections(std::vector<std::uint8_t>& buffer) {
        while (auto incoming = listener_->accept()) {
            if (connection_) {
                // A client that closes the port and opens it again at once: its old
                // connection has ended already, but the end may not have been read yet.
                read_connection(buffer);
            }
            if (connection_ || port_held_) {
                // The port is held by another program: the client reads the end of the
                // stream at once. Its socket is drained until it hangs up, so that no
                // reset overtakes that end.
                incoming->finish_sending();
                refused_.push_back({std::move(incoming), Clock::now() + kRefusedLinger});
                terminal_.refused();
                continue;
            }
            connection_ = std::move(incoming);
            LineSink& sink = *this;
            session_ = std::make_unique<Rfc2217Session>(sink);
            tcp_out_.clear();
            out_sent_ = 0;
            pacer_.reset();
            terminal_.connected();
            session_->start(tcp_out_);
        }
    }

    // Reads and forgets what refused clients send; closes them when they hang up.
    void drain_refused(TimePoint now, std::vector<std::uint8_t>& buffer) {
        std::erase_if(refused_, [&](Refused& refused) {
            while (true) {
                const auto n = refused.connection->read(buffer);
                if (!n) {
                    return true; // the client hung up
                }
                if (*n == 0) {
                    return now >= refused.until;
                }
            }
        });
    }

    void read_connection(std::vector<std::uint8_t>& buffer) {
        for (int turn = 0; turn < kReadsPerTurn && connection_; ++turn) {
            const auto n = connection_->read(buffer);
            if (!n) {
                drop_connection();
                return;
            }
            if (*n == 0) {
                return;
            }
            session_->receive(std::span(buffer).first(*n), tcp_out_);
        }
    }

    // Ends the client's connection and forgets what was still to be sent to it.
    void close_connection() {
        if (connection_) {
            connection_->abort();
        }
        connection_.reset();
        session_.reset();
        tcp_out_.clear();
        out_sent_ = 0;
        pacer_.reset();
    }

    void drop_connection() {
        close_connection();
        terminal_.disconnected();
    }

    void flush() {
        while (connection_ && out_sent_ < tcp_out_.size()) {
            const auto n = connection_->write(std::span(tcp_out_).subspan(out_sent_));
            if (!n) {
                drop_connection();
                return;
            }
            if (*n == 0) {
                return;
            }
            out_sent_ += *n;
        }
        tcp_out_.clear();
        out_sent_ = 0;
    }

    void pump(TimePoint now) {
        const std::uint32_t downloads = terminal_.downloads_completed();
        if (paced_) {
            pacer_.deliver_in(now, [this](const LinePacer::Item& item) {
                switch (item.kind) {
                case LinePacer::Kind::Data:
                    terminal_.receive(item.bytes, item.due);
                    break;
                case LinePacer::Kind::BreakOn:
                    terminal_.set_break(true, item.due);
                    break;
                case LinePacer::Kind::BreakOff:
                    terminal_.set_break(false, item.due);
                    break;
                }
            });
        }
        terminal_.tick(now);
        ready_.clear();
        if (terminal_.take_ready(now, ready_)) {
            unplug_pending_ = true;
        }
        if (connection_ && !ready_.empty()) {
            if (paced_) {
                pacer_.push_out(ready_, now);
            } else {
                Rfc2217Session::append_data(tcp_out_, ready_);
            }
        }
        if (paced_) {
            ready_.clear();
            pacer_.take_out(now, ready_);
            if (connection_ && !ready_.empty()) {
                Rfc2217Session::append_data(tcp_out_, ready_);
            }
        }
        if (unplug_pending_ && pacer_.out_empty()) {
            flush();
            unplug_pending_ = false;
            do_unplug();
            if (options_.replug_after_ms != 0) {
                replug_at_ = now + scaled_wait(options_.replug_after_ms);
            }
        }
        if (terminal_.downloads_completed() != downloads) {
            changed_.notify_all();
        }
    }

    // A completed download counts as acknowledged once nothing the terminal answered waits
    // to be sent: its final acknowledgement has left (or was withheld, or the client is gone).
    void note_acknowledged_downloads() {
        const std::uint32_t completed = terminal_.downloads_completed();
        if (completed == acknowledged_downloads_) {
            return;
        }
        const bool sent =
            !terminal_.has_output() && pacer_.out_empty() && out_sent_ >= tcp_out_.size();
        if (sent || !connection_) {
            acknowledged_downloads_ = completed;
            changed_.notify_all();
        }
    }

    void do_unplug() {
        remove_announcement(announcement_path_);
        announcement_path_.clear();
        close_connection();
        listener_.reset();
        plugged_ = false;
        terminal_.unplugged();
    }

    bool do_replug() {
        std::string error;
        listener_ = platform::TcpListener::listen(tcp_port_, error);
        if (!listener_) {
            listener_ = platform::TcpListener::listen(0, error); // the old number is taken
        }
        if (!listener_) {
            return false;
        }
        tcp_port_ = listener_->port();
        if (options_.announce && !announce(error)) {
            listener_.reset();
            return false;
        }
        plugged_ = true;
        terminal_.replugged();
        return true;
    }

    // ---- LineSink: called by the session on the server thread ---------------------------

    void line_data(std::span<const std::uint8_t> data) override {
        if (paced_) {
            pacer_.push_in(LinePacer::Kind::Data, data, Clock::now());
        } else {
            terminal_.receive(data, Clock::now());
        }
    }
    void line_break(bool on) override {
        if (paced_) {
            pacer_.push_in(on ? LinePacer::Kind::BreakOn : LinePacer::Kind::BreakOff, {},
                           Clock::now());
        } else {
            terminal_.set_break(on, Clock::now());
        }
    }
    void line_purge(std::uint8_t what) override {
        terminal_.purge(what);
        if ((what & 1) != 0) { // data not yet sent to the client
            terminal_.drop_output();
            pacer_.drop_out();
        }
        if ((what & 2) != 0) { // data not yet taken by the terminal
            pacer_.drop_in_data();
        }
    }
    void line_settings_changed() override {
        if (session_) {
            terminal_.line_settings(session_->line().baud);
        }
    }

    const SimulatorOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::uint32_t acknowledged_downloads_ = 0; // completed, their answers sent
    Terminal terminal_;
    LinePacer pacer_;
    const bool paced_;
    bool port_held_;

    std::unique_ptr<platform::TcpWaiter> waiter_;
    std::unique_ptr<platform::TcpListener> listener_;
    std::unique_ptr<platform::TcpConnection> connection_;
    std::unique_ptr<Rfc2217Session> session_;
    struct Refused {
        std::unique_ptr<platform::TcpConnection> connection;
        TimePoint until;
    };
    std::vector<Refused> refused_;
    std::vector<std::uint8_t> tcp_out_;
    std::size_t out_sent_ = 0;
    std::vector<std::uint8_t> ready_;
    std::thread thread_;

    std::uint16_t tcp_port_ = 0;
    std::string devices_dir_;
    std::string device_name_;
    std::string port_name_;
    std::string announcement_path_;
    bool plugged_ = false;
    bool stop_ = false;
    bool unplug_pending_ = false;
    std::optional<TimePoint> replug_at_;
    Request request_ = Request::None;
    bool request_done_ = false;
    bool request_ok_ = false;
};

} // namespace

std::unique_ptr<TerminalSimulator> TerminalSimulator::start(const SimulatorOptions& options,
                                                            std::string* error) {
    auto simulator = std::make_unique<Simulator>(options);
    std::string reason;
    if (!simulator->init(reason)) {
        simulator->stop();
        if (error != nullptr) {
            *error = reason;
        }
        return nullptr;
    }
    return simulator;
}

} // namespace sim
