#include "sim/terminal.h"

#include <algorithm>
#include <array>

namespace sim {
namespace {

constexpr std::size_t kMaxLogEvents = 100000;
constexpr std::size_t kMaxCommand = 65536;
constexpr std::size_t kMaxImage = std::size_t{256} << 20; // bytes a download may bring
constexpr std::array<std::uint32_t, 3> kFirmwareFixedBlocks{256, 256, 261};
constexpr std::array<std::uint32_t, 2> kApplicationFixedBlocks{256, 256};
constexpr std::uint8_t kSBlockResponse = 0x20;
constexpr std::uint8_t kSBlockResynch = 0x00;
constexpr std::uint8_t kSBlockWtxRequest = 0xC3;

std::uint8_t swap_nibbles(std::uint8_t nad) {
    return static_cast<std::uint8_t>((nad << 4) | (nad >> 4));
}

} // namespace

std::uint32_t data_block_size(bool firmware, std::uint32_t index, std::uint64_t sent,
                              std::uint64_t image_size) {
    const std::span<const std::uint32_t> fixed =
        firmware ? std::span<const std::uint32_t>(kFirmwareFixedBlocks)
                 : std::span<const std::uint32_t>(kApplicationFixedBlocks);
    if (image_size != 0 && sent >= image_size) {
        return 0;
    }
    if (index < fixed.size()) {
        // The sender stops when a fixed-size block no longer fits.
        if (image_size != 0 && image_size - sent < fixed[index]) {
            return 0;
        }
        return fixed[index];
    }
    if (image_size == 0) {
        return kRestBlockSize;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(kRestBlockSize, image_size - sent));
}

Terminal::Terminal(TerminalConfig config, TerminalStatus status, Faults faults)
    : config_(std::move(config)), status_(std::move(status)) {
    if (config_.card.content.empty()) {
        config_.card.content = default_card_content();
    }
    if (config_.max_response_inf == 0) {
        config_.max_response_inf = 254;
    }
    restarts_left_ = config_.restart_requests;
    set_faults(faults);
}

void Terminal::set_status(const TerminalStatus& status) {
    status_ = status;
    state_index_ = 0;
}

void Terminal::set_faults(const Faults& faults) {
    faults_ = faults;
    auto at = [](std::uint64_t count, std::uint32_t k) -> std::uint64_t {
        return k == 0 ? 0 : count + k;
    };
    bad_check_at_ = at(blocks_sent_, faults.bad_check_response);
    wrong_sequence_at_ = at(blocks_sent_, faults.wrong_sequence_response);
    error_response_at_ = at(answers_sent_, faults.error_response);
    unplug_at_status_query_ = at(status_queries_, faults.unplug_after_status_queries);
}

void Terminal::record(LineEvent event) {
    if (log_.size() < kMaxLogEvents) {
        log_.push_back(std::move(event));
    }
}

void Terminal::record_simple(LineEvent::Kind kind, std::uint32_t value) {
    LineEvent event;
    event.kind = kind;
    event.value = value;
    record(std::move(event));
}

void Terminal::queue(std::vector<std::uint8_t> bytes, TimePoint now, bool unplug_after) {
    // Answers leave in order, each after the terminal's think time.
    TimePoint when = now + config_.response_delay;
    if (!output_.empty() && when < last_not_before_) {
        when = last_not_before_;
    }
    last_not_before_ = when;
    output_.push_back(Output{std::move(bytes), when, unplug_after});
}

void Terminal::queue_byte(std::uint8_t byte, TimePoint now, bool unplug_after) {
    LineEvent event;
    event.kind = LineEvent::Kind::ByteOut;
    event.value = byte;
    record(std::move(event));
    queue(std::vector<std::uint8_t>{byte}, now, unplug_after);
}

bool Terminal::consume_silence() {
    if (faults_.silent_requests == 0) {
        return false;
    }
    --faults_.silent_requests;
    return true;
}

bool Terminal::take_ready(TimePoint now, std::vector<std::uint8_t>& out) {
    while (!output_.empty() && output_.front().not_before <= now) {
        Output& front = output_.front();
        out.insert(out.end(), front.bytes.begin(), front.bytes.end());
        const bool unplug = front.unplug_after;
        output_.pop_front();
        if (unplug) {
            return true;
        }
    }
    return false;
}

std::optional<Terminal::TimePoint> Terminal::next_deadline() const {
    std::optional<TimePoint> deadline;
    if (!output_.empty()) {
        deadline = output_.front().not_before;
    }
    if (mode_ == Mode::ReceivingData && config_.image_size == 0 && !image_.empty()) {
        const TimePoint end = last_data_ + image_end_pause();
        if (!deadline || end < *deadline) {
            deadline = end;
        }
    }
    return deadline;
}

std::chrono::nanoseconds Terminal::image_end_pause() const {
    // Inside a block the sender pauses only when it has sent the whole (short) block. After a
    // full block it may be busy between blocks, so the end of the image is taken later.
    return block_filled_ > 0 ? config_.image_end_pause : 3 * config_.image_end_pause;
}

void Terminal::tick(TimePoint now) {
    if (mode_ == Mode::ReceivingData && config_.image_size == 0 && !image_.empty() &&
        now >= last_data_ + image_end_pause()) {
        // The sender has stopped: what came last is the image's last (short) block.
        if (block_filled_ > 0) {
            data_block_done(now);
        }
        if (mode_ == Mode::ReceivingData) {
            finish_image(now);
        }
    }
}

// ---- line events -------------------------------------------------------------------------

void Terminal::reset_link_state() {
    if (mode_ != Mode::Normal) {
        mode_ = Mode::Normal; // the download is abandoned; its bytes stay in partial_image()
    }
    reader_.reset();
    break_on_ = false;
    break_pulses_ = 0;
    command_.clear();
    response_.clear();
    response_pos_ = 0;
    answer_held_ = false;
    output_.clear();
}

void Terminal::connected() {
    reset_link_state();
    record_simple(LineEvent::Kind::Connected);
}

void Terminal::disconnected() {
    reset_link_state();
    record_simple(LineEvent::Kind::Disconnected);
}

void Terminal::refused() {
    record_simple(LineEvent::Kind::Refused);
}

void Terminal::unplugged() {
    reset_link_state();
    record_simple(LineEvent::Kind::Unplugged);
}

void Terminal::replugged() {
    // A terminal plugged in again starts from power-on.
    reset_link_state();
    send_ns_ = 0;
    last_in_ns_ = 0;
    restarts_left_ = config_.restart_requests;
    record_simple(LineEvent::Kind::Replugged);
}

void Terminal::purge(std::uint32_t what) {
    record_simple(LineEvent::Kind::Purge, what);
}

void Terminal::line_settings(std::uint32_t baud) {
    record_simple(LineEvent::Kind::LineSettings, baud);
}

void Terminal::set_break(bool on, TimePoint now) {
    if (on) {
        break_on_ = true;
        return;
    }
    if (!break_on_) {
        return;
    }
    break_on_ = false;
    record_simple(LineEvent::Kind::BreakPulse);
    reader_.reset();
    if (++break_pulses_ >= 2) {
        break_pulses_ = 0;
        download_mode_request(now);
    }
}

void Terminal::receive(std::span<const std::uint8_t> bytes, TimePoint now) {
    while (!bytes.empty()) {
        std::size_t used = 0;
        switch (mode_) {
        case Mode::Normal:
            break_pulses_ = 0;
            receive_blocks(bytes, now);
            used = bytes.size();
            break;
        case Mode::AwaitUpgradeRequest:
            used = receive_upgrade_request(bytes, now);
            break;
        case Mode::ReceivingData:
            used = receive_data(bytes, now);
            break;
        }
        if (used == 0) {
            break; // nothing more can be taken in this state
        }
        bytes = bytes.subspan(used);
    }
}

// ---- normal mode: blocks -----------------------------------------------------------------

void Terminal::receive_blocks(std::span<const std::uint8_t> bytes, TimePoint now) {
    while (!bytes.empty()) {
        bytes = bytes.subspan(reader_.feed(bytes));
        if (reader_.complete()) {
            handle_block(reader_.block(), now);
            if (mode_ != Mode::Normal) {
                return; // cannot happen from a block; kept for safety
            }
        }
    }
}

void Terminal::handle_block(const Block& block, TimePoint now) {
    LineEvent event;
    event.kind = LineEvent::Kind::BlockIn;
    event.nad = block.nad;
    event.pcb = block.pcb;
    event.check_ok = block.check_ok;
    event.data = block.inf;
    record(std::move(event));

    if (!block.check_ok) {
        // Ask for the block again: an R-block reporting the error.
        if (!consume_silence()) {
            const auto pcb = static_cast<std::uint8_t>(kPcbRBlock | kPcbRError |
                                                       ((last_in_ns_ ^ 1) != 0 ? kPcbRNr : 0));
            send_block(swap_nibbles(block.nad), pcb, {}, now);
        }
        return;
    }
    if (is_i_block(block.pcb)) {
        handle_i_block(block, now);
    } else if (is_r_block(block.pcb)) {
        handle_r_block(block, now);
    } else {
        handle_s_block(block, now);
    }
}

void Terminal::handle_i_block(const Block& block, TimePoint now) {
    last_in_ns_ = (block.pcb & kPcbINs) != 0 ? 1 : 0;
    response_.clear();
    response_pos_ = 0;
    if (command_.size() + block.inf.size() <= kMaxCommand) {
        command_.insert(command_.end(), block.inf.begin(), block.inf.end());
    }
    if ((block.pcb & kPcbIMore) != 0) {
        // Chained command: ask for the next piece.
        if (!consume_silence()) {
            const auto pcb =
                static_cast<std::uint8_t>(kPcbRBlock | ((last_in_ns_ ^ 1) != 0 ? kPcbRNr : 0));
            send_block(swap_nibbles(block.nad), pcb, {}, now);
        }
        return;
    }

    const auto destination = static_cast<std::uint8_t>(block.nad >> 4);
    CommandAnswer answer =
        answer_command(destination, command_, status_, current_download_state(), config_.card);
    command_.clear();
    bool unplug_after = false;
    if (answer.manufacturer_status) {
        ++status_queries_;
        if (state_index_ + 1 < status_.download_states.size()) {
            ++state_index_;
        }
        if (unplug_at_status_query_ != 0 && status_queries_ == unplug_at_status_query_) {
            unplug_after = true;
        }
    }
    if (answer.terminal_reset) {
        send_ns_ = 0; // the answer to RESET CT carries N(S) 0
    }
    if (consume_silence()) {
        if (unplug_after) {
            queue({}, now, true);
        }
        return;
    }
    ++answers_sent_;
    if (error_response_at_ != 0 && answers_sent_ == error_response_at_) {
        answer.error_response = true;
        answer.data.assign(1, faults_.error_response_byte);
    }
    const std::uint8_t source = block.nad & 0x0F;
    response_nad_ = answer.error_response
                        ? static_cast<std::uint8_t>(kAddressError << 4 | destination)
                        : static_cast<std::uint8_t>(source << 4 | destination);
    response_ = std::move(answer.data);
    response_pos_ = 0;
    if (faults_.wait_extensions > 0) {
        --faults_.wait_extensions;
        answer_held_ = true;
        send_block(swap_nibbles(block.nad), kSBlockWtxRequest, std::array<std::uint8_t, 1>{2}, now);
        return;
    }
    if (faults_.late_answers > 0) {
        --faults_.late_answers;
        now += config_.late_answer_delay;
    }
    send_next_response_piece(now, unplug_after);
}

void Terminal::send_next_response_piece(TimePoint now, bool unplug_after) {
    const std::size_t left = response_.size() - response_pos_;
    const std::size_t len = std::min<std::size_t>(left, config_.max_response_inf);
    const bool more = left > len;
    const auto pcb =
        static_cast<std::uint8_t>((send_ns_ != 0 ? kPcbINs : 0) | (more ? kPcbIMore : 0));
    send_ns_ ^= 1;
    send_block(response_nad_, pcb,
               std::span<const std::uint8_t>(response_).subspan(response_pos_, len), now,
               unplug_after);
    response_pos_ += len;
}

void Terminal::handle_r_block(const Block& block, TimePoint now) {
    if (consume_silence()) {
        return;
    }
    const std::uint8_t nr = (block.pcb & kPcbRNr) != 0 ? 1 : 0;
    const bool chaining = !response_.empty() && response_pos_ < response_.size();
    if (chaining && nr == send_ns_ && (block.pcb & kPcbRError) == 0) {
        send_next_response_piece(now);
        return;
    }
    // The host did not get the last block: send it once more, unchanged.
    if (!last_block_.empty()) {
        LineEvent event;
        event.kind = LineEvent::Kind::BlockOut;
        event.nad = last_block_[0];
        event.pcb = last_block_[1];
        event.data.assign(last_block_.begin() + 3, last_block_.end() - 1);
        record(std::move(event));
        ++blocks_sent_;
        queue(last_block_, now);
    }
}

void Terminal::handle_s_block(const Block& block, TimePoint now) {
    if ((block.pcb & kSBlockResponse) != 0) {
        // A response from the host: nothing to answer. The one to a waiting-time extension
        // lets the held answer go, late.
        if (block.pcb == (kSBlockWtxRequest | kSBlockResponse) && answer_held_) {
            answer_held_ = false;
            send_next_response_piece(now + config_.late_answer_delay);
        }
        return;
    }
    if (consume_silence()) {
        return;
    }
    if ((block.pcb & 0x1F) == kSBlockResynch) {
        send_ns_ = 0;
        last_in_ns_ = 0;
    }
    send_block(swap_nibbles(block.nad), static_cast<std::uint8_t>(block.pcb | kSBlockResponse),
               block.inf, now);
}

void Terminal::send_block(std::uint8_t nad, std::uint8_t pcb, std::span<const std::uint8_t> inf,
                          TimePoint now, bool unplug_after) {
    ++blocks_sent_;
    if (wrong_sequence_at_ != 0 && blocks_sent_ == wrong_sequence_at_) {
        pcb = static_cast<std::uint8_t>(pcb ^ (is_i_block(pcb) ? kPcbINs : kPcbRNr));
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(inf.size() + 4);
    append_block(nad, pcb, inf, bytes);
    last_block_ = bytes;
    bool check_ok = true;
    if (bad_check_at_ != 0 && blocks_sent_ == bad_check_at_) {
        bytes.back() = static_cast<std::uint8_t>(bytes.back() ^ 0xFF);
        check_ok = false;
    }
    LineEvent event;
    event.kind = LineEvent::Kind::BlockOut;
    event.nad = nad;
    event.pcb = pcb;
    event.check_ok = check_ok;
    event.data.assign(inf.begin(), inf.end());
    record(std::move(event));
    queue(std::move(bytes), now, unplug_after);
}

std::uint8_t Terminal::current_download_state() const {
    if (status_.download_states.empty()) {
        return 1;
    }
    return status_.download_states[std::min(state_index_, status_.download_states.size() - 1)];
}

// ---- download mode -----------------------------------------------------------------------

void Terminal::download_mode_request(TimePoint now) {
    output_.clear();
    command_.clear();
    response_.clear();
    response_pos_ = 0;
    if (faults_.unplug_during_handshake) {
        faults_.unplug_during_handshake = false;
        queue({}, now, true);
        return;
    }
    mode_ = Mode::AwaitUpgradeRequest;
    image_.clear();
    if (consume_silence()) {
        return;
    }
    if (faults_.wrong_answer_mode_request != 0) {
        faults_.wrong_answer_mode_request = 0;
        queue_byte(faults_.wrong_answer_byte, now);
        return;
    }
    queue_byte(kAck, now);
}

std::size_t Terminal::receive_upgrade_request(std::span<const std::uint8_t> bytes, TimePoint now) {
    const std::uint8_t byte = bytes[0];
    LineEvent event;
    event.kind = LineEvent::Kind::ByteIn;
    event.value = byte;
    record(std::move(event));
    if (byte != kFirmwareUpgradeRequest && byte != kApplicationUpgradeRequest) {
        if (!consume_silence()) {
            queue_byte(kNak, now);
        }
        return 1;
    }
    if (consume_silence()) {
        return 1;
    }
    if (faults_.wrong_answer_upgrade_request != 0) {
        faults_.wrong_answer_upgrade_request = 0;
        queue_byte(faults_.wrong_answer_byte, now);
        mode_ = Mode::Normal;
        return 1;
    }
    firmware_ = byte == kFirmwareUpgradeRequest;
    queue_byte(kAck, now);
    if (firmware_ && restarts_left_ > 0) {
        // Ask the host to run the download-mode handshake again.
        --restarts_left_;
        queue_byte(kRestartRequest, now);
        mode_ = Mode::Normal;
        return 1;
    }
    mode_ = Mode::ReceivingData;
    image_.clear();
    if (config_.image_size != 0) {
        image_.reserve(config_.image_size);
    }
    block_index_ = 0;
    last_data_ = now;
    start_block(now);
    return 1;
}

void Terminal::start_block(TimePoint now) {
    block_filled_ = 0;
    block_size_ = data_block_size(firmware_, block_index_, image_.size(), config_.image_size);
    if (block_size_ == 0) {
        finish_image(now);
    }
}

std::size_t Terminal::receive_data(std::span<const std::uint8_t> bytes, TimePoint now) {
    last_data_ = now;
    if (image_.size() >= kMaxImage) {
        // More than any terminal holds: refuse the block and drop out of download mode.
        queue_byte(kNak, now);
        mode_ = Mode::Normal;
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(block_size_ - block_filled_, bytes.size());
    image_.insert(image_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    block_filled_ += static_cast<std::uint32_t>(n);
    if (block_filled_ == block_size_) {
        data_block_done(now);
    }
    return n;
}

void Terminal::data_block_done(TimePoint now) {
    ++block_index_;
    record_simple(LineEvent::Kind::DataBlockIn, block_filled_);
    const bool unplug_after =
        faults_.unplug_after_data_blocks != 0 && block_index_ == faults_.unplug_after_data_blocks;
    if (unplug_after) {
        faults_.unplug_after_data_blocks = 0;
    }
    bool acknowledged = false;
    if (consume_silence()) {
        if (unplug_after) {
            queue({}, now, true);
        }
    } else if (faults_.wrong_answer_data_block != 0 &&
               block_index_ == faults_.wrong_answer_data_block) {
        faults_.wrong_answer_data_block = 0;
        queue_byte(faults_.wrong_answer_byte, now, unplug_after);
    } else {
        queue_byte(kAck, now, unplug_after);
        acknowledged = true;
    }
    if (!acknowledged) {
        mode_ = Mode::Normal; // the host gives up; the bytes stay in partial_image()
        return;
    }
    if (block_filled_ < block_size_) {
        finish_image(now); // a short block ends the image
        return;
    }
    start_block(now);
}

void Terminal::finish_image(TimePoint now) {
    mode_ = Mode::Normal;
    received_image_ = std::move(image_);
    image_.clear();
    ++downloads_completed_;
    record_simple(LineEvent::Kind::ImageComplete,
                  static_cast<std::uint32_t>(received_image_.size()));
    if (faults_.withhold_final_ack != 0) {
        faults_.withhold_final_ack = 0;
        return;
    }
    queue_byte(kAck, now);
    run_received_image();
}

// The terminal runs an acknowledged image of the part it was asked for: its version (bytes
// 132 to 134, type byte 136 '0' firmware or '1' application, as the images carry them) is
// reported from then on. Anything else the terminal keeps but does not run.
void Terminal::run_received_image() {
    constexpr std::size_t kVersionOffset = 132;
    constexpr std::size_t kTypeOffset = 136;
    const std::vector<std::uint8_t>& image = received_image_;
    const std::uint8_t type = firmware_ ? kFirmwareUpgradeRequest : kApplicationUpgradeRequest;
    if (image.size() <= kTypeOffset || image[kTypeOffset] != type)
        return;
    if (firmware_) {
        status_.fw_major = image[kVersionOffset];
        status_.fw_minor = image[kVersionOffset + 1];
        status_.fw_build = image[kVersionOffset + 2];
        status_.fw_text.clear();
    } else {
        status_.app_major = image[kVersionOffset];
        status_.app_minor = image[kVersionOffset + 1];
        status_.app_text.clear();
    }
}

} // namespace sim
