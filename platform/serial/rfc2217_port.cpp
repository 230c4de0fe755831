// A serial port reached over TCP with the Telnet COM-PORT-OPTION (RFC 2217): the client side.
// Line settings, break and purge travel as COM-PORT-OPTION messages; data travels in binary
// mode with 255 doubled. All socket work happens on the calling thread: a read waits for the
// socket or a wake, so cancel() from another thread ends it at once.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/io/tcp_socket.h"
#include "platform/serial/rfc2217_codec.h"
#include "platform/serial/serial_port_backends.h"
#include "platform/serial/serial_timeouts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>

namespace platform {
namespace {

namespace rfc = rfc2217;

// Real-time limits of the link itself (not protocol waits of the terminal).
constexpr std::uint32_t kConnectMs = 5000;
constexpr std::uint32_t kNegotiationMs = 5000;
constexpr std::uint32_t kAnswerMs = 2000;
constexpr std::size_t kReceiveChunk = 64 * 1024;
constexpr std::size_t kSendChunk = 32 * 1024;

struct Address {
    std::string host;
    std::string port;
};

// "rfc2217://host:port", "rfc2217://[::1]:port".
std::optional<Address> parse_address(std::string_view address) {
    address.remove_prefix(std::min<std::size_t>(address.size(), 10)); // the scheme
    while (!address.empty() && address.back() == '/') {
        address.remove_suffix(1);
    }
    const auto colon = address.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == address.size()) {
        return std::nullopt;
    }
    std::string_view host = address.substr(0, colon);
    const std::string_view port = address.substr(colon + 1);
    if (host.front() == '[' && host.back() == ']' && host.size() > 2) {
        host = host.substr(1, host.size() - 2);
    }
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (ec != std::errc{} || end != port.data() + port.size() || number == 0 || number > 65535) {
        return std::nullopt;
    }
    return Address{std::string(host), std::string(port)};
}

bool we_support(std::uint8_t option) {
    return option == rfc::kOptionBinary || option == rfc::kOptionComPort ||
           option == rfc::kOptionSuppressGoAhead;
}

std::uint8_t parity_value(Parity parity) {
    switch (parity) {
    case Parity::Odd:
        return rfc::kParityOdd;
    case Parity::Even:
        return rfc::kParityEven;
    case Parity::Mark:
        return rfc::kParityMark;
    case Parity::Space:
        return rfc::kParitySpace;
    case Parity::None:
        break;
    }
    return rfc::kParityNone;
}

std::optional<Parity> parity_of(std::uint32_t value) {
    switch (value) {
    case rfc::kParityNone:
        return Parity::None;
    case rfc::kParityOdd:
        return Parity::Odd;
    case rfc::kParityEven:
        return Parity::Even;
    case rfc::kParityMark:
        return Parity::Mark;
    case rfc::kParitySpace:
        return Parity::Space;
    default:
        return std::nullopt;
    }
}

std::uint8_t stop_value(StopBits stop) {
    switch (stop) {
    case StopBits::Two:
        return rfc::kStopTwo;
    case StopBits::OnePointFive:
        return rfc::kStopOnePointFive;
    case StopBits::One:
        break;
    }
    return rfc::kStopOne;
}

std::optional<StopBits> stop_of(std::uint32_t value) {
    switch (value) {
    case rfc::kStopOne:
        return StopBits::One;
    case rfc::kStopTwo:
        return StopBits::Two;
    case rfc::kStopOnePointFive:
        return StopBits::OnePointFive;
    default:
        return std::nullopt;
    }
}

class Rfc2217Port final : public SerialPort, private rfc::StreamHandler {
  public:
    explicit Rfc2217Port(std::unique_ptr<TcpConnection> link) : link_(std::move(link)) {}

    // Negotiates the options and reads the line settings. The last error on failure:
    // kErrorAccessDenied when the server hangs up (the port is held by another program).
    bool start() {
        std::string error;
        cancel_ = TcpWaiter::create(error);
        quiet_ = TcpWaiter::create(error);
        if (!cancel_ || !quiet_) {
            set_last_error(kErrorNotEnoughMemory);
            return false;
        }
        std::vector<std::uint8_t> hello;
        for (const std::uint8_t option :
             {rfc::kOptionBinary, rfc::kOptionSuppressGoAhead, rfc::kOptionComPort}) {
            rfc::append_negotiation(hello, rfc::kWill, option);
            we_[option] = Option::WantYes;
        }
        for (const std::uint8_t option : {rfc::kOptionBinary, rfc::kOptionSuppressGoAhead}) {
            rfc::append_negotiation(hello, rfc::kDo, option);
            they_[option] = Option::WantYes;
        }
        // Asking with value 0 reads the server's current settings.
        rfc::append_com_port_u32(hello, rfc::kSetBaudrate, 0);
        rfc::append_com_port_u8(hello, rfc::kSetDatasize, 0);
        rfc::append_com_port_u8(hello, rfc::kSetParity, rfc::kParityRequest);
        rfc::append_com_port_u8(hello, rfc::kSetStopsize, rfc::kStopRequest);
        expect({rfc::kSetBaudrate, rfc::kSetDatasize, rfc::kSetParity, rfc::kSetStopsize});
        if (!send_control(hello) || !await_answers(kNegotiationMs)) {
            pump(); // a hang-up may show only on the next receive
            set_last_error(lost_ ? kErrorAccessDenied : kErrorGenFailure);
            return false;
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    bool get_line_settings(LineSettings& settings) override {
        settings = settings_;
        set_last_error(kErrorSuccess);
        return true;
    }

    bool set_line_settings(const LineSettings& settings) override {
        if (!usable() || settings.baud == 0 || settings.data_bits < 5 || settings.data_bits > 8) {
            set_last_error(usable() ? kErrorInvalidParameter : kErrorDeviceNotConnected);
            return false;
        }
        std::vector<std::uint8_t> frames;
        rfc::append_com_port_u32(frames, rfc::kSetBaudrate, settings.baud);
        rfc::append_com_port_u8(frames, rfc::kSetDatasize, settings.data_bits);
        rfc::append_com_port_u8(frames, rfc::kSetParity, parity_value(settings.parity));
        rfc::append_com_port_u8(frames, rfc::kSetStopsize, stop_value(settings.stop_bits));
        rfc::append_com_port_u8(frames, rfc::kSetControl,
                                settings.dtr == DtrControl::Disable ? rfc::kControlDtrOff
                                                                    : rfc::kControlDtrOn);
        expect({rfc::kSetBaudrate, rfc::kSetDatasize, rfc::kSetParity, rfc::kSetStopsize,
                rfc::kSetControl});
        if (!send_control(frames) || !await_answers(kAnswerMs)) {
            return fail_link();
        }
        // The answers carry what the server took; what it did not answer stays as asked.
        settings_.binary = settings.binary;
        settings_.dtr = settings.dtr;
        if (!answered_baud_) {
            settings_.baud = settings.baud;
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    bool get_timeouts(Timeouts& timeouts) override {
        timeouts = timeouts_;
        set_last_error(kErrorSuccess);
        return true;
    }
    bool set_timeouts(const Timeouts& timeouts) override {
        timeouts_ = timeouts;
        set_last_error(kErrorSuccess);
        return true;
    }
    bool setup_queues(std::uint32_t, std::uint32_t) override {
        set_last_error(kErrorSuccess);
        return true;
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        if (!connected() && available() == 0) {
            set_last_error(kErrorDeviceNotConnected);
            return std::nullopt;
        }
        start_operation();
        if (!pending_control_.empty()) {
            // A purge with nothing written after it: it goes now. A failure shows as a lost
            // link at the read that follows.
            take_pending_control();
            [[maybe_unused]] const bool sent = flush(kAnswerMs, *quiet_);
        }
        Reader reader{*this};
        return read_under_timeouts(timeouts_, buffer, reader);
    }

    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        if (!usable()) {
            set_last_error(kErrorDeviceNotConnected);
            return std::nullopt;
        }
        start_operation();
        Writer writer{*this};
        return write_under_timeouts(timeouts_, data, writer);
    }

    bool set_break(bool on) override {
        std::vector<std::uint8_t> frame;
        rfc::append_com_port_u8(frame, rfc::kSetControl,
                                on ? rfc::kControlBreakOn : rfc::kControlBreakOff);
        expect({rfc::kSetControl});
        if (!usable() || !send_control(frame) || !await_answers(kAnswerMs)) {
            return fail_link();
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    bool purge(std::uint32_t flags) override {
        const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
        const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
        if (flags & (kPurgeRxAbort | kPurgeTxAbort)) {
            cancel_->wake(); // ends an operation pending on another thread
        }
        if (!rx && !tx) {
            set_last_error(kErrorSuccess);
            return true;
        }
        if (!usable()) {
            set_last_error(kErrorDeviceNotConnected);
            return false;
        }
        std::vector<std::uint8_t> frame;
        rfc::append_com_port_u8(frame, rfc::kPurgeData,
                                rx && tx ? rfc::kPurgeBoth
                                         : (rx ? rfc::kPurgeReceive : rfc::kPurgeTransmit));
        // The request leaves with whatever is sent next, in the same segment: what is written
        // after it travels behind it, so nothing waits for the server's answer. Bytes that
        // arrive before that answer were sent before the server purged: they are dropped as
        // they come (on_data).
        if (rx) {
            drop_received();
            ++rx_purges_due_;
        }
        pending_control_.insert(pending_control_.end(), frame.begin(), frame.end());
        set_last_error(kErrorSuccess);
        return true;
    }

    // A cancel given while no operation is pending is kept for the next one (start_operation),
    // so that it cannot fall between a caller's check and its read.
    void cancel() override {
        cancel_kept_.store(true);
        cancel_->wake();
    }
    bool connected() const override { return !lost_.load(); }

  private:
    enum class Option : std::uint8_t { No, WantYes, Yes };

    bool usable() const { return connected(); }
    std::size_t available() const { return rx_.size() - rx_head_; }

    bool fail_link() {
        set_last_error(lost_ ? kErrorDeviceNotConnected : kErrorGenFailure);
        return false;
    }

    // Forgets the unsent rest of `data`, whose escaped form was the whole of out_: only the
    // second half of a doubled 255 that has half gone out stays, so that the stream stays whole.
    void drop_unsent_data(std::span<const std::uint8_t> data) {
        std::vector<std::uint8_t> escaped;
        rfc::append_escaped(escaped, data);
        const std::size_t sent = escaped.size() - std::min(escaped.size(), out_.size());
        std::size_t ones_before = 0; // 255s right before the cut
        while (ones_before < sent && escaped[sent - 1 - ones_before] == rfc::kIac) {
            ++ones_before;
        }
        out_.resize(ones_before % 2 == 1 && !out_.empty() ? 1 : 0);
    }

    void drop_received() {
        rx_.clear();
        rx_head_ = 0;
    }

    void expect(std::initializer_list<std::uint8_t> commands) {
        awaited_.assign(commands.begin(), commands.end());
        answered_baud_ = false;
    }

    // --- the Telnet stream --------------------------------------------------------------

    void on_data(std::span<const std::uint8_t> data) override {
        if (rx_purges_due_ > 0) {
            if (!pending_control_.empty() || monotonic_ms() < discard_until_ms_) {
                return; // sent before the server purged
            }
            rx_purges_due_ = 0; // a server that does not answer purges: stop waiting for it
        }
        if (rx_head_ > 0 && rx_head_ == rx_.size()) {
            drop_received();
        }
        rx_.insert(rx_.end(), data.begin(), data.end());
    }

    void on_negotiation(std::uint8_t verb, std::uint8_t option) override {
        auto& we = we_[option];
        auto& they = they_[option];
        switch (verb) {
        case rfc::kDo:
            if (!we_support(option)) {
                rfc::append_negotiation(replies_, rfc::kWont, option);
            } else if (we == Option::No) {
                rfc::append_negotiation(replies_, rfc::kWill, option);
            }
            we = we_support(option) ? Option::Yes : Option::No;
            break;
        case rfc::kDont:
            if (we == Option::Yes) {
                rfc::append_negotiation(replies_, rfc::kWont, option);
            }
            we = Option::No;
            break;
        case rfc::kWill:
            if (!we_support(option)) {
                rfc::append_negotiation(replies_, rfc::kDont, option);
            } else if (they == Option::No) {
                rfc::append_negotiation(replies_, rfc::kDo, option);
            }
            they = we_support(option) ? Option::Yes : Option::No;
            break;
        case rfc::kWont:
            if (they == Option::Yes) {
                rfc::append_negotiation(replies_, rfc::kDont, option);
            }
            they = Option::No;
            break;
        default:
            break;
        }
    }

    void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) override {
        if (option != rfc::kOptionComPort) {
            return;
        }
        const auto message = rfc::decode_com_port(payload);
        if (!message || message->command < rfc::kServerOffset) {
            return; // notifications to a server, or nothing
        }
        const auto command = static_cast<std::uint8_t>(message->command - rfc::kServerOffset);
        const auto value = message->number();
        if (value) {
            switch (command) {
            case rfc::kSetBaudrate:
                if (*value != 0) {
                    settings_.baud = *value;
                    answered_baud_ = true;
                }
                break;
            case rfc::kSetDatasize:
                if (*value >= 5 && *value <= 8) {
                    settings_.data_bits = static_cast<std::uint8_t>(*value);
                }
                break;
            case rfc::kSetParity:
                settings_.parity = parity_of(*value).value_or(settings_.parity);
                break;
            case rfc::kSetStopsize:
                settings_.stop_bits = stop_of(*value).value_or(settings_.stop_bits);
                break;
            default:
                break;
            }
        }
        if (command == rfc::kPurgeData && value &&
            (*value == rfc::kPurgeReceive || *value == rfc::kPurgeBoth) && rx_purges_due_ > 0) {
            --rx_purges_due_;
        }
        const auto it = std::find(awaited_.begin(), awaited_.end(), command);
        if (it != awaited_.end()) {
            awaited_.erase(it);
        }
    }

    // --- the socket ---------------------------------------------------------------------

    void mark_lost() { lost_.store(true); }

    // Takes in what the socket holds now, without waiting.
    void pump() {
        while (!lost_ && pump_data_only()) {
        }
        if (!replies_.empty() && !lost_) {
            std::vector<std::uint8_t> replies;
            replies.swap(replies_);
            out_.insert(out_.end(), replies.begin(), replies.end());
            // A reply that cannot go out now leaves the link lost or the reply queued before
            // the next data: either way the next operation reports it.
            [[maybe_unused]] const bool sent = flush(kAnswerMs, *quiet_);
        }
    }

    // Sends what is queued in out_, taking in received bytes meanwhile. False when the limit
    // passed or the link is gone or `cancel` was raised (`aborted` tells).
    bool flush(WaitLimit limit, TcpWaiter& waiter, bool* aborted = nullptr) {
        const std::uint64_t start = monotonic_ms();
        while (!out_.empty()) {
            if (lost_) {
                return false;
            }
            const auto n = link_->write(out_);
            if (!n) {
                mark_lost();
                return false;
            }
            if (*n > 0) {
                out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(*n));
                continue;
            }
            WaitLimit left = limit;
            if (limit) {
                const std::uint64_t spent = monotonic_ms() - start;
                if (spent >= *limit) {
                    return false;
                }
                left = static_cast<std::uint32_t>(*limit - spent);
            }
            const auto ready = wait(waiter, true, left);
            if (ready.woken) {
                if (aborted != nullptr) {
                    *aborted = true;
                }
                return false;
            }
            if (ready.connection_readable) {
                pump_data_only();
            }
        }
        return true;
    }

    // One receive without answering (used inside flush so that replies queue behind the
    // data). True when bytes came.
    bool pump_data_only() {
        std::array<std::uint8_t, kReceiveChunk> chunk;
        const auto n = link_->read(chunk);
        if (!n) {
            mark_lost(); // end of stream or reset: the device is gone
            return false;
        }
        if (*n == 0) {
            return false;
        }
        parser_.feed(std::span(chunk.data(), *n), *this);
        return true;
    }

    // Waits for the socket (readable; also writable when `want_write`), a wake of `waiter`, or
    // the limit. Nothing set in the result: the limit passed (or a spurious wake-up).
    TcpWaitResult wait(TcpWaiter& waiter, bool want_write, WaitLimit limit) {
        std::optional<std::chrono::steady_clock::time_point> deadline;
        if (limit) {
            deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(*limit);
        }
        return waiter.wait(nullptr, link_.get(), want_write, deadline);
    }

    // Before a read or write: drops a wake meant for an operation that has ended, and keeps a
    // cancel that was given while none was pending for this one.
    void start_operation() {
        cancel_->clear();
        if (cancel_kept_.load()) {
            cancel_->wake();
        }
    }

    // Queues the control requests that wait for the next send (a purge) behind what out_ holds.
    void take_pending_control() {
        if (pending_control_.empty()) {
            return;
        }
        out_.insert(out_.end(), pending_control_.begin(), pending_control_.end());
        pending_control_.clear();
        discard_until_ms_ = monotonic_ms() + kAnswerMs;
    }

    bool send_control(std::span<const std::uint8_t> frames) {
        take_pending_control();
        out_.insert(out_.end(), frames.begin(), frames.end());
        return flush(kAnswerMs, *quiet_);
    }

    // Waits until every awaited answer came; false when the link went or the limit passed.
    bool await_answers(std::uint32_t limit_ms) {
        const std::uint64_t deadline = monotonic_ms() + limit_ms;
        for (;;) {
            pump();
            if (awaited_.empty()) {
                return true;
            }
            const std::uint64_t now = monotonic_ms();
            if (lost_ || now >= deadline) {
                return false;
            }
            wait(*quiet_, false, static_cast<std::uint32_t>(deadline - now));
        }
    }

    TransferStep take(std::span<std::uint8_t> buffer) {
        const std::size_t n = std::min(buffer.size(), available());
        std::copy_n(rx_.begin() + static_cast<std::ptrdiff_t>(rx_head_), n, buffer.begin());
        rx_head_ += n;
        if (rx_head_ == rx_.size()) {
            drop_received();
        } else if (rx_head_ > kReceiveChunk && rx_head_ * 2 > rx_.size()) {
            rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(rx_head_));
            rx_head_ = 0;
        }
        return {n, 0};
    }

    struct Reader final : ByteSource {
        explicit Reader(Rfc2217Port& port) : port_(port) {}
        TransferStep fetch(std::span<std::uint8_t> buffer, WaitLimit limit) override {
            const std::uint64_t start = monotonic_ms();
            for (;;) {
                if (port_.available() == 0) {
                    port_.pump(); // one receive call brings up to 64 KiB
                }
                if (port_.available() > 0) {
                    return port_.take(buffer);
                }
                if (port_.lost_) {
                    return {0, kErrorDeviceNotConnected};
                }
                WaitLimit left = limit;
                if (limit) {
                    const std::uint64_t spent = monotonic_ms() - start;
                    if (spent >= *limit) {
                        return {};
                    }
                    left = static_cast<std::uint32_t>(*limit - spent);
                }
                if (port_.wait(*port_.cancel_, false, left).woken) {
                    port_.cancel_kept_.store(false);
                    return {0, kErrorOperationAborted};
                }
            }
        }
        Rfc2217Port& port_;
    };

    struct Writer final : ByteSink {
        explicit Writer(Rfc2217Port& port) : port_(port) {}
        TransferStep put(std::span<const std::uint8_t> data, WaitLimit limit) override {
            // Control frames still queued go first, so that the stream stays whole.
            const std::span<const std::uint8_t> chunk =
                data.first(std::min(data.size(), kSendChunk));
            const bool had_backlog = !port_.out_.empty();
            port_.take_pending_control();
            if (!had_backlog) {
                rfc::append_escaped(port_.out_, chunk);
            }
            bool aborted = false;
            if (!port_.flush(limit, *port_.cancel_, &aborted)) {
                if (!had_backlog) {
                    // A write that timed out or was cancelled sends nothing more later.
                    port_.drop_unsent_data(chunk);
                }
                if (aborted) {
                    port_.cancel_kept_.store(false);
                    return {0, kErrorOperationAborted};
                }
                return port_.lost_ ? TransferStep{0, kErrorDeviceNotConnected} : TransferStep{};
            }
            if (had_backlog) {
                return put(data, limit);
            }
            return {chunk.size(), 0};
        }
        Rfc2217Port& port_;
    };

    std::unique_ptr<TcpConnection> link_;
    std::unique_ptr<TcpWaiter> cancel_; // woken by cancel() and by a purge that aborts
    std::unique_ptr<TcpWaiter> quiet_;  // for waits that cancel() must not end (option answers)
    std::atomic<bool> lost_{false};
    std::atomic<bool> cancel_kept_{false}; // cancel() came while no operation was pending
    rfc::StreamParser parser_;
    std::array<Option, 256> we_{};
    std::array<Option, 256> they_{};
    std::vector<std::uint8_t> replies_;
    std::vector<std::uint8_t> out_;
    std::vector<std::uint8_t> rx_;
    std::size_t rx_head_ = 0;
    std::vector<std::uint8_t> awaited_;
    bool answered_baud_ = false;
    std::vector<std::uint8_t> pending_control_; // requests that leave with the next send
    std::uint32_t rx_purges_due_ = 0;           // receive purges the server has not answered
    std::uint64_t discard_until_ms_ = 0;        // how long received bytes are dropped for them
    LineSettings settings_{};
    Timeouts timeouts_{};
};

} // namespace

std::unique_ptr<SerialPort> open_rfc2217_port(std::string_view address) {
    const auto parsed = parse_address(address);
    if (!parsed) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    auto link = TcpConnection::connect(parsed->host, parsed->port, kConnectMs);
    if (!link) {
        return nullptr;
    }
    auto port = std::make_unique<Rfc2217Port>(std::move(link));
    if (!port->start()) {
        return nullptr;
    }
    return port;
}

} // namespace platform
