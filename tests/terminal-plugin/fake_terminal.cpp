#include "fake_terminal.h"

#include <algorithm>
#include <platform/foundation/clock.h>

namespace vupporta::testing {
namespace {

class FakePort : public platform::SerialPort {
  public:
    explicit FakePort(FakeTerminal& terminal) : terminal_(terminal) {}

    bool get_line_settings(platform::LineSettings& settings) override {
        settings = line_;
        return true;
    }
    bool set_line_settings(const platform::LineSettings& settings) override {
        line_ = settings;
        return true;
    }
    bool get_timeouts(platform::Timeouts& timeouts) override {
        timeouts = timeouts_;
        return true;
    }
    bool set_timeouts(const platform::Timeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }
    bool setup_queues(std::uint32_t, std::uint32_t) override { return true; }
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        return terminal_.read(buffer, timeouts_.read_total_multiplier);
    }
    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        if (!terminal_.connected) {
            platform::set_last_error(platform::kErrorDeviceNotConnected);
            return std::nullopt;
        }
        if (const auto error = terminal_.hang(data.size(), timeouts_)) {
            platform::set_last_error(*error);
            return std::nullopt;
        }
        terminal_.write(data);
        return data.size();
    }
    bool set_break(bool on) override {
        if (terminal_.break_refused || !terminal_.connected) {
            return false;
        }
        terminal_.set_break(on);
        return true;
    }
    bool purge(std::uint32_t) override {
        ++terminal_.purges;
        return true;
    }
    void cancel() override { terminal_.cancel(); }
    bool connected() const override { return terminal_.connected; }

  private:
    FakeTerminal& terminal_;
    platform::LineSettings line_{};
    platform::Timeouts timeouts_{};
};

} // namespace

std::vector<std::uint8_t> status_information(std::uint8_t download_state, bool ready,
                                             unsigned records) {
    std::vector<std::uint8_t> information(63, 0);
    information[12] = 'h';
    information[13] = 2;
    information[14] = 5;
    information[17] = 'h';
    information[18] = 1;
    information[19] = 2;
    information[20] = 3;
    information[23] = static_cast<std::uint8_t>(records >> 8);
    information[24] = static_cast<std::uint8_t>(records);
    information[25] = download_state;
    information[46] = ready ? 1 : 0;
    const std::string id("\0TERMINAL-0042", 14);
    std::copy(id.begin(), id.end(), information.begin() + 47);
    information[61] = 0x90;
    information[62] = 0x00;
    return information;
}

std::unique_ptr<platform::SerialPort> FakeTerminal::open(std::string_view path) {
    port_paths.emplace_back(path);
    if (!connected) {
        platform::set_last_error(platform::kErrorFileNotFound);
        return nullptr;
    }
    ++opens;
    pending_.clear();
    return std::make_unique<FakePort>(*this);
}

void FakeTerminal::write(std::span<const std::uint8_t> data) {
    write_sizes.push_back(data.size());
    pending_.insert(pending_.end(), data.begin(), data.end());
}

std::optional<std::uint32_t> FakeTerminal::hang(std::size_t bytes,
                                                const platform::Timeouts& timeouts) {
    const bool transferring = phase_ == Phase::Transfer;
    if (!hangs || !hangs(write_sizes.size(), transferring)) {
        return std::nullopt;
    }
    const std::uint64_t limit_ms =
        std::uint64_t{timeouts.write_total_multiplier} * bytes + timeouts.write_total_constant;
    hung_write_limits_ms.push_back(limit_ms);
    HangState& state = *hang_state_;
    {
        std::lock_guard lock(state.mutex);
        state.cancelled = false;
    }
    if (on_hang) {
        on_hang();
    }
    auto wait = std::chrono::milliseconds(3000);
    if (hang_keeps_time_limit && limit_ms != 0) {
        wait = std::min(wait, platform::scaled(static_cast<std::uint32_t>(limit_ms)));
    }
    std::unique_lock lock(state.mutex);
    const bool cancelled = state.ended.wait_for(lock, wait, [&] { return state.cancelled; });
    return cancelled ? platform::kErrorOperationAborted : platform::kErrorTimeout;
}

void FakeTerminal::cancel() {
    HangState& state = *hang_state_;
    ++state.cancels;
    std::lock_guard lock(state.mutex);
    state.cancelled = true;
    state.ended.notify_all();
}

void FakeTerminal::set_break(bool on) {
    if (on) {
        ++breaks;
        ++breaks_since_message_;
        if (on_break) {
            on_break(breaks);
        }
        if (breaks_since_message_ == 2) {
            phase_ = Phase::ModeRequested;
        }
    }
}

void FakeTerminal::queue_block(std::vector<std::uint8_t> information) {
    const auto length = static_cast<std::uint8_t>(information.size());
    std::uint8_t check = 0x21 ^ 0x40 ^ length;
    answers_.push_back(0x21);
    answers_.push_back(0x40);
    answers_.push_back(length);
    for (std::uint8_t byte : information) {
        answers_.push_back(byte);
        check ^= byte;
    }
    answers_.push_back(check);
}

void FakeTerminal::answer_message() {
    std::vector<std::uint8_t> message;
    message.swap(pending_);
    breaks_since_message_ = 0;
    if (message.size() == 9 && message[0] == 0x12 && message[3] == 0x20 && message[4] == 0x13) {
        ++manufacturer_queries;
        std::vector<std::uint8_t> information =
            status_answers.empty() ? status_information() : status_answers.front();
        if (status_answers.size() > 1) {
            status_answers.pop_front();
        }
        queue_block(std::move(information));
        return;
    }
    if (message.size() == 9 && message[0] == 0x12 && message[3] == 0x20 && message[4] == 0x18) {
        ++short_queries;
        queue_block(short_status_ok ? std::vector<std::uint8_t>{0x90, 0x00}
                                    : std::vector<std::uint8_t>{0x6A, 0x82});
        return;
    }
    if (phase_ == Phase::AwaitUpgrade && message.size() == 1) {
        upgrade_requests.push_back(message[0]);
        if (upgrade_answer) {
            answers_.push_back(*upgrade_answer);
            if (*upgrade_answer == 0x06) {
                phase_ = Phase::Transfer;
                if (message[0] == '0' && !notifications.empty()) {
                    answers_.push_back(notifications.front());
                    if (notifications.front() == 'f') {
                        phase_ = Phase::Idle;
                    }
                    notifications.pop_front();
                }
            }
        }
        return;
    }
    if (phase_ == Phase::Transfer) {
        const std::size_t index = block_sizes.size();
        if (on_block) {
            on_block(index);
        }
        block_sizes.push_back(message.size());
        image.insert(image.end(), message.begin(), message.end());
        const std::optional<std::uint8_t> answer =
            block_answer ? block_answer(index) : std::optional<std::uint8_t>(0x06);
        if (answer) {
            answers_.push_back(*answer);
        }
    }
}

std::optional<std::size_t> FakeTerminal::read(std::span<std::uint8_t> buffer,
                                              std::uint32_t multiplier) {
    read_multipliers.push_back(multiplier);
    if (!connected) {
        platform::set_last_error(platform::kErrorDeviceNotConnected);
        return std::nullopt;
    }
    if (raw) {
        pending_.clear();
        if (raw_reads.empty()) {
            ++silent_reads;
            return 0;
        }
        std::vector<std::uint8_t>& chunk = raw_reads.front();
        const std::size_t count = std::min(buffer.size(), chunk.size());
        std::copy_n(chunk.begin(), count, buffer.begin());
        chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
        if (chunk.empty()) {
            raw_reads.pop_front();
        }
        return count;
    }
    if (!pending_.empty()) {
        answer_message();
    } else if (phase_ == Phase::ModeRequested) {
        breaks_since_message_ = 0;
        phase_ = Phase::AwaitUpgrade;
        if (mode_answer) {
            answers_.push_back(*mode_answer);
        }
    } else if (phase_ == Phase::Transfer && answers_.empty() && !block_sizes.empty() &&
               !final_given_ && final_answer) {
        final_given_ = true;
        answers_.push_back(*final_answer);
        if (on_final_answer) {
            on_final_answer();
        }
        if (cancel_ends_final_read && hang_state_->cancels.load() > 0) {
            // The cancel came while this read waited: it fails, the answer stays received.
            platform::set_last_error(platform::kErrorOperationAborted);
            return std::nullopt;
        }
    }
    const std::size_t count = std::min(buffer.size(), answers_.size());
    std::copy_n(answers_.begin(), count, buffer.begin());
    answers_.erase(answers_.begin(), answers_.begin() + static_cast<std::ptrdiff_t>(count));
    if (count == 0) {
        ++silent_reads;
    }
    return count;
}

} // namespace vupporta::testing
