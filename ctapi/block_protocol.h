#pragma once
// One CT-API command to the terminal and its response back, in T=1-style blocks: I-blocks
// with send sequence numbers and the more-data bit carry the command (chained in pieces of at
// most 254 bytes) and the response; R-blocks ask for the next piece of a chained response, or
// (from the terminal) for the next or the repeated piece of a chained command; S-blocks carry
// the terminal's requests (a waiting-time extension, a smaller block size) and the library's
// resynchronisation.
//
// Only a block whose address byte answers the command (destination and source swapped, or the
// error address) is taken; any other block is skipped. A failed exchange leaves the link out of
// step: an answer may still be on its way. Before the next command the library drops what has
// arrived and resynchronises (RESYNCH request), skipping every block until the terminal's
// RESYNCH response, so that a late answer is never taken for the next command's. A terminal
// that does not answer the resynchronisation (one that knows no S-blocks) gets what needs no
// help from it: the library waits until the line is quiet for a whole read time-out, drops
// what arrived, restarts its numbering and sends the command.
//
// Threads: the caller's thread only.
#include "block_frame.h"
#include "block_transport.h"

#include <array>
#include <cstdint>
#include <span>

namespace brantel {

enum class ExchangeResult { Success, Failure, TooLong };

struct ExchangeAddresses {
    std::uint8_t destination = 0; // in: where the command goes; out: response's destination
    std::uint8_t source = 0;      // in: who sends it; out: the answering unit
};

// How often the terminal may ask for the same piece of a command again before the exchange
// fails.
inline constexpr int kMaxResendRequests = 3;
// How many blocks that do not answer the command an exchange skips before it fails.
inline constexpr int kMaxSkippedBlocks = 8;
// How many S-block requests (waiting-time extensions, block sizes) one exchange answers before
// it fails: a terminal that keeps asking never answers.
inline constexpr int kMaxSRequests = 64;

class BlockProtocol {
  public:
    explicit BlockProtocol(BlockTransport& transport) : transport_(transport) {}

    // Puts the sequence numbers, counters and buffers back to their values after reset.
    void reset();

    // Sends `command` to addresses.destination and gathers the response.
    // Success: the response is in response[0..capacity), capacity is its length and
    // addresses hold the response's NAD nibbles. TooLong: the response does not fit (or the
    // terminal reported a memory error); nothing is changed. Failure: nothing is changed.
    // `card_terminal_mode` switches the READ BINARY status-word rewrite on.
    [[nodiscard]] ExchangeResult exchange(ExchangeAddresses& addresses,
                                          std::span<const std::uint8_t> command,
                                          std::span<std::uint8_t> response, std::uint16_t& capacity,
                                          bool card_terminal_mode);

    // The sequence bits and the link's state, for tests and diagnostics.
    std::uint8_t send_sequence() const { return send_sequence_; }
    std::uint8_t expected_sequence() const { return expected_sequence_; }
    bool out_of_step() const { return out_of_step_; }

  private:
    enum class Step { Fail, Continue, Complete, Skip };

    [[nodiscard]] bool gather_response();
    [[nodiscard]] bool resynchronise();
    // Reads until a read time-out passes without a byte, then drops what is left; false when
    // the terminal keeps sending.
    [[nodiscard]] bool wait_for_quiet_line();
    void restart_numbering();
    void build_next_i_block();
    void prepare_r_block();
    void prepare_s_block(std::uint8_t pcb, std::span<const std::uint8_t> inf);
    [[nodiscard]] bool send_and_receive(std::uint8_t patience);
    [[nodiscard]] bool received_check_ok() const;
    Step parse_received();
    Step on_i_block();
    Step on_r_block();
    Step on_s_block();

    BlockTransport& transport_;

    std::uint8_t send_sequence_ = 0;     // N(S) of the next I-block to build
    std::uint8_t expected_sequence_ = 0; // N(S) the next I-block from the terminal must carry
    std::uint16_t max_block_data_ = kMaxSendData;
    bool out_of_step_ = false; // the last exchange failed: an answer may still come

    std::array<std::uint8_t, kMessageBufferSize> command_{};
    std::uint16_t send_position_ = 0;
    std::uint16_t remaining_ = 0;
    bool more_ = false;
    std::uint8_t last_i_len_ = 0; // LEN of the last I-block built
    int resend_requests_ = 0;     // for the piece last sent
    int s_requests_ = 0;          // answered in this exchange
    std::uint8_t patience_ = 1;   // read time-outs the next block may take to begin

    std::array<std::uint8_t, kMessageBufferSize> response_{};
    std::uint16_t response_count_ = 0;

    BlockBuffer transmit_{};
    BlockBuffer receive_{};
    std::uint8_t nad_ = 0, pcb_ = 0, len_ = 0;                            // to send
    std::uint8_t received_nad_ = 0, received_pcb_ = 0, received_len_ = 0; // last received
};

// Whether `command` is RESET CT (20 11 00 00 00) exactly.
bool is_reset_ct(std::span<const std::uint8_t> command);

} // namespace brantel
