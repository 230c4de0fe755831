#pragma once
// The terminal itself, free of any transport: bytes and line events go in, bytes come out
// with the time at which they may leave. Not thread-safe; the owner serialises the calls.
//
// In its normal mode the terminal speaks blocks: the status queries of the update plug-in and
// the T=1-style I-, R- and S-blocks of the CT-API library, with chaining both ways. Two break
// pulses put it into download mode: it acknowledges the request, takes the upgrade request
// ('0' firmware, '1' application), acknowledges the image block by block and finally the
// whole image, and then returns to its normal mode.
#include "sim/terminal_block.h"
#include "sim/terminal_commands.h"
#include "sim/terminal_simulator.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace sim {

inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kFirmwareUpgradeRequest = '0';
inline constexpr std::uint8_t kApplicationUpgradeRequest = '1';
inline constexpr std::uint8_t kRestartRequest = 'f';
inline constexpr std::uint32_t kRestBlockSize = 65536;

// Size of data block `index` (0-based) of an image; 0 when the image is complete. `sent` bytes
// have been received before it; `image_size` 0 means unknown (rest blocks are then full size).
std::uint32_t data_block_size(bool firmware, std::uint32_t index, std::uint64_t sent,
                              std::uint64_t image_size);

struct TerminalConfig {
    std::chrono::nanoseconds response_delay{0};
    std::chrono::nanoseconds late_answer_delay{0}; // of the late_answers and wait_extensions faults
    std::uint32_t restart_requests = 0;
    std::uint32_t image_size = 0;
    std::chrono::nanoseconds image_end_pause{std::chrono::milliseconds(100)};
    std::uint8_t max_response_inf = 254;
    CardState card;
};

class Terminal {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    Terminal(TerminalConfig config, TerminalStatus status, Faults faults);

    // Line events, in the order they happened on the line.
    void connected();
    void disconnected();
    void refused();
    void unplugged();
    void replugged();
    void receive(std::span<const std::uint8_t> bytes, TimePoint now);
    void set_break(bool on, TimePoint now);
    void purge(std::uint32_t what); // logged; the transport drops what it holds
    void line_settings(std::uint32_t baud);

    // Timers: call tick() at next_deadline() (or later).
    void tick(TimePoint now);
    std::optional<TimePoint> next_deadline() const;

    // Appends the bytes whose time has come to `out`. Returns true when the terminal is to be
    // unplugged once these bytes have left.
    bool take_ready(TimePoint now, std::vector<std::uint8_t>& out);
    void drop_output() { output_.clear(); }
    bool has_output() const { return !output_.empty(); }

    // Settings that tests change while the terminal runs.
    void set_status(const TerminalStatus& status);
    const TerminalStatus& status() const { return status_; }
    void set_faults(const Faults& faults);
    void set_card(CardState card) { config_.card = std::move(card); }

    const std::vector<std::uint8_t>& received_image() const { return received_image_; }
    const std::vector<std::uint8_t>& partial_image() const { return image_; }
    std::uint32_t downloads_completed() const { return downloads_completed_; }
    const std::vector<LineEvent>& log() const { return log_; }
    void clear_log() { log_.clear(); }

  private:
    enum class Mode : std::uint8_t { Normal, AwaitUpgradeRequest, ReceivingData };
    struct Output {
        std::vector<std::uint8_t> bytes;
        TimePoint not_before;
        bool unplug_after = false;
    };

    void reset_link_state();
    void record(LineEvent event);
    void record_simple(LineEvent::Kind kind, std::uint32_t value = 0);
    void queue(std::vector<std::uint8_t> bytes, TimePoint now, bool unplug_after = false);
    void queue_byte(std::uint8_t byte, TimePoint now, bool unplug_after = false);
    bool consume_silence();

    // Normal mode.
    void receive_blocks(std::span<const std::uint8_t> bytes, TimePoint now);
    void handle_block(const Block& block, TimePoint now);
    void handle_i_block(const Block& block, TimePoint now);
    void handle_r_block(const Block& block, TimePoint now);
    void handle_s_block(const Block& block, TimePoint now);
    void send_block(std::uint8_t nad, std::uint8_t pcb, std::span<const std::uint8_t> inf,
                    TimePoint now, bool unplug_after = false);
    void send_next_response_piece(TimePoint now, bool unplug_after = false);
    std::uint8_t current_download_state() const;

    // Download mode.
    void download_mode_request(TimePoint now);
    std::size_t receive_upgrade_request(std::span<const std::uint8_t> bytes, TimePoint now);
    std::size_t receive_data(std::span<const std::uint8_t> bytes, TimePoint now);
    void start_block(TimePoint now);
    std::chrono::nanoseconds image_end_pause() const;
    void data_block_done(TimePoint now);
    void finish_image(TimePoint now);
    void run_received_image();

    TerminalConfig config_;
    TerminalStatus status_;
    Faults faults_;
    // Fault positions in absolute counts (0 = off).
    std::uint64_t bad_check_at_ = 0;
    std::uint64_t wrong_sequence_at_ = 0;
    std::uint64_t error_response_at_ = 0;
    std::uint64_t unplug_at_status_query_ = 0;

    std::deque<Output> output_;
    TimePoint last_not_before_{};
    std::vector<LineEvent> log_;

    // Counters.
    std::uint64_t blocks_sent_ = 0;
    std::uint64_t answers_sent_ = 0;
    std::uint64_t status_queries_ = 0;
    std::size_t state_index_ = 0;
    std::uint32_t restarts_left_ = 0;

    // Block link.
    Mode mode_ = Mode::Normal;
    BlockReader reader_;
    bool break_on_ = false;
    std::uint32_t break_pulses_ = 0;
    std::uint8_t send_ns_ = 0;    // N(S) of the next I-block the terminal sends
    std::uint8_t last_in_ns_ = 0; // N(S) of the last I-block received
    std::vector<std::uint8_t> command_;
    std::vector<std::uint8_t> response_;
    std::size_t response_pos_ = 0;
    std::uint8_t response_nad_ = 0;
    std::vector<std::uint8_t> last_block_; // for a repeat on request
    bool answer_held_ = false; // the answer waits for the host's waiting-time extension response

    // Download.
    bool firmware_ = true;
    std::vector<std::uint8_t> image_;
    std::uint32_t block_index_ = 0;
    std::uint32_t block_size_ = 0;
    std::uint32_t block_filled_ = 0;
    TimePoint last_data_{};
    std::vector<std::uint8_t> received_image_;
    std::uint32_t downloads_completed_ = 0;
};

} // namespace sim
