#pragma once
// A scripted Halvane/Pellax terminal behind fake serial ports, for driving the serial link and
// the download without a line. Answers are produced when the plug-in reads after writing (one
// write burst = one message); time-outs pass at once (a read with nothing queued returns 0).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <platform/foundation/last_error.h>
#include <platform/serial/serial_port.h>
#include <span>
#include <string>
#include <vector>

namespace vupporta::testing {

// An information field of a manufacturer status answer (ends in 90 00).
std::vector<std::uint8_t> status_information(std::uint8_t download_state = 1, bool ready = true,
                                             unsigned records = 0);

class FakeTerminal {
  public:
    // What the terminal answers.
    std::deque<std::vector<std::uint8_t>> status_answers; // information fields; last repeats
    bool short_status_ok = true;
    std::optional<std::uint8_t> mode_answer = 0x06; // after two break pulses
    std::optional<std::uint8_t> upgrade_answer = 0x06;
    std::deque<std::uint8_t> notifications; // after an accepted firmware request
    std::function<std::optional<std::uint8_t>(std::size_t block)> block_answer;
    std::optional<std::uint8_t> final_answer = 0x06;
    // Called before each block is answered (index, bytes so far): lets a test unplug the
    // terminal or set the abort flag in the middle of the transfer.
    std::function<void(std::size_t block)> on_block;
    // Called when the final acknowledgement is given.
    std::function<void()> on_final_answer;
    // A cancel given meanwhile ends the read of the final acknowledgement, which stays
    // received for the next read.
    bool cancel_ends_final_read = false;
    // Called at each break pulse (count so far).
    std::function<void(int breaks)> on_break;
    // Whether a write hangs (index of the write call, whether the transfer runs): it then
    // waits until the port's cancel(), or at most 3 s, or its write time-out when
    // `hang_keeps_time_limit`. `on_hang` runs when it starts hanging.
    std::function<bool(std::size_t write, bool transferring)> hangs;
    bool hang_keeps_time_limit = false;
    std::function<void()> on_hang;
    bool connected = true;
    bool break_refused = false;
    // Raw mode: reads return these chunks in order (cut to the buffer), then nothing; writes
    // are only recorded.
    bool raw = false;
    std::deque<std::vector<std::uint8_t>> raw_reads;

    // What the terminal saw.
    std::vector<std::string> port_paths; // every open, by path
    int opens = 0;
    int breaks = 0;
    int purges = 0;
    int manufacturer_queries = 0;
    int short_queries = 0;
    std::vector<std::uint8_t> upgrade_requests;
    std::vector<std::size_t> block_sizes;
    std::vector<std::uint8_t> image;             // the bytes of all blocks
    std::vector<std::size_t> write_sizes;        // each write call
    std::vector<std::uint32_t> read_multipliers; // read total multiplier per read
    int silent_reads = 0;
    std::vector<std::uint64_t> hung_write_limits_ms;            // write time-out of each hung write
    int cancels() const { return hang_state_->cancels.load(); } // cancel() calls, any thread

    // Opens a fake port on this terminal (the SerialLink's port opener).
    std::unique_ptr<platform::SerialPort> open(std::string_view path);

    // Port side.
    void write(std::span<const std::uint8_t> data);
    // Whether the write about to be made hangs; if so, hangs and returns the error ending it.
    std::optional<std::uint32_t> hang(std::size_t bytes, const platform::Timeouts& timeouts);
    void cancel();
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer, std::uint32_t multiplier);
    void set_break(bool on);

  private:
    enum class Phase { Idle, ModeRequested, AwaitUpgrade, Transfer };
    void answer_message();
    void queue_block(std::vector<std::uint8_t> information);

    Phase phase_ = Phase::Idle;
    int breaks_since_message_ = 0;
    bool final_given_ = false;
    std::vector<std::uint8_t> pending_;
    std::deque<std::uint8_t> answers_;
    struct HangState { // shared with the monitor's thread, which cancels
        std::mutex mutex;
        std::condition_variable ended;
        bool cancelled = false;
        std::atomic<int> cancels{0};
    };
    std::shared_ptr<HangState> hang_state_ = std::make_shared<HangState>();
};

} // namespace vupporta::testing
