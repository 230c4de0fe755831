#include "block_protocol.h"

#include "status_word_rewrite.h"

#include <algorithm>
#include <cstring>

namespace brantel {

bool is_reset_ct(std::span<const std::uint8_t> command) {
    static constexpr std::uint8_t kResetCt[] = {0x20, 0x11, 0x00, 0x00, 0x00};
    return command.size() == sizeof kResetCt &&
           std::equal(command.begin(), command.end(), std::begin(kResetCt));
}

void BlockProtocol::reset() {
    restart_numbering();
    out_of_step_ = false;
    send_position_ = 0;
    remaining_ = 0;
    response_count_ = 0;
    more_ = false;
    nad_ = pcb_ = len_ = 0;
    last_i_len_ = 0;
    resend_requests_ = 0;
    patience_ = 1;
    received_nad_ = received_pcb_ = received_len_ = 0;
    command_.fill(0);
    response_.fill(0);
    transmit_.fill(0);
    receive_.fill(0);
}

void BlockProtocol::restart_numbering() {
    send_sequence_ = 0;
    expected_sequence_ = 0;
    max_block_data_ = kMaxSendData;
}

void BlockProtocol::build_next_i_block() {
    more_ = remaining_ > max_block_data_;
    pcb_ = i_block_pcb(send_sequence_, more_);
    len_ = static_cast<std::uint8_t>(std::min<std::uint16_t>(remaining_, max_block_data_));
    std::memcpy(transmit_.data() + kInfOffset, command_.data() + send_position_, len_);
    last_i_len_ = len_;
    send_sequence_ ^= 1u;
    send_position_ = static_cast<std::uint16_t>(send_position_ + len_);
    remaining_ = static_cast<std::uint16_t>(remaining_ - len_);
}

void BlockProtocol::prepare_r_block() {
    pcb_ = r_block_pcb(expected_sequence_);
    len_ = 0;
}

void BlockProtocol::prepare_s_block(std::uint8_t pcb, std::span<const std::uint8_t> inf) {
    pcb_ = pcb;
    len_ = static_cast<std::uint8_t>(std::min(inf.size(), kMaxSendData));
    std::copy_n(inf.begin(), len_, transmit_.begin() + kInfOffset);
}

bool BlockProtocol::send_and_receive(std::uint8_t patience) {
    transmit_[kNadOffset] = nad_;
    transmit_[kPcbOffset] = pcb_;
    transmit_[kLenOffset] = len_;
    const std::size_t covered = kHeaderSize + len_;
    transmit_[covered] = lrc(std::span(transmit_).first(covered));
    receive_.fill(0);
    return transport_.transceive(transmit_, receive_, patience);
}

bool BlockProtocol::received_check_ok() const {
    return lrc(std::span(receive_).first(block_size(receive_))) == 0;
}

bool BlockProtocol::resynchronise() {
    transport_.discard_input();
    prepare_s_block(s_block_pcb(SBlockType::Resynch, false), {});
    if (!send_and_receive(1)) {
        return false;
    }
    // Whatever the terminal still sends for an earlier command comes before its response.
    const std::uint8_t wanted_pcb = s_block_pcb(SBlockType::Resynch, true);
    for (int skipped = 0;; ++skipped) {
        if (received_check_ok() && receive_[kNadOffset] == answer_nad(nad_) &&
            receive_[kPcbOffset] == wanted_pcb) {
            restart_numbering();
            out_of_step_ = false;
            return true;
        }
        if (skipped == kMaxSkippedBlocks || !transport_.receive(receive_, 1)) {
            return false;
        }
    }
}

bool BlockProtocol::wait_for_quiet_line() {
    for (int dropped = 0; dropped <= kMaxSkippedBlocks; ++dropped) {
        if (!transport_.receive(receive_, 1)) {
            transport_.discard_input(); // a whole read time-out of silence: nothing is on its way
            return true;
        }
    }
    return false; // the terminal keeps sending
}

BlockProtocol::Step BlockProtocol::parse_received() {
    received_nad_ = receive_[kNadOffset];
    received_pcb_ = receive_[kPcbOffset];
    received_len_ = receive_[kLenOffset];
    if (!received_check_ok()) {
        return Step::Fail;
    }
    if (!answers(received_nad_, nad_)) {
        return Step::Skip; // not from where the command went: another command's answer
    }
    patience_ = 1;
    switch (block_kind(received_pcb_)) {
    case BlockKind::I:
        return on_i_block();
    case BlockKind::R:
        return on_r_block();
    case BlockKind::S:
        break;
    }
    return on_s_block();
}

BlockProtocol::Step BlockProtocol::on_i_block() {
    const std::uint8_t sequence = (received_pcb_ & kPcbISequence) != 0 ? 1 : 0;
    if (sequence != expected_sequence_) {
        return Step::Fail;
    }
    // A chained response may not outgrow the response buffer.
    if (response_count_ + received_len_ > response_.size()) {
        return Step::Fail;
    }
    expected_sequence_ ^= 1u;
    std::memcpy(response_.data() + response_count_, receive_.data() + kInfOffset, received_len_);
    response_count_ = static_cast<std::uint16_t>(response_count_ + received_len_);
    if ((received_pcb_ & kPcbIMoreData) == 0) {
        return Step::Complete;
    }
    prepare_r_block();
    return Step::Continue;
}

BlockProtocol::Step BlockProtocol::on_r_block() {
    if (!more_) {
        return Step::Fail; // no chained command under way
    }
    const std::uint8_t requested = (received_pcb_ & kPcbRSequence) != 0 ? 1 : 0;
    if (requested == send_sequence_) {
        resend_requests_ = 0; // the terminal asks for the next piece
    } else {
        // The terminal asks for the last piece again: step back over it, a few times at most.
        if (++resend_requests_ > kMaxResendRequests) {
            return Step::Fail;
        }
        const std::uint8_t last = last_i_len_;
        remaining_ = static_cast<std::uint16_t>(remaining_ + last);
        send_position_ = static_cast<std::uint16_t>(send_position_ - last);
        send_sequence_ ^= 1u;
    }
    build_next_i_block();
    return Step::Continue;
}

BlockProtocol::Step BlockProtocol::on_s_block() {
    if (is_s_response(received_pcb_)) {
        return Step::Skip; // answers a request of ours that is over (a late resynchronisation)
    }
    if (++s_requests_ > kMaxSRequests) {
        return Step::Fail;
    }
    const auto inf = std::span(receive_).subspan(kInfOffset, received_len_);
    const std::uint8_t value = received_len_ > 0 ? inf[0] : 0;
    switch (s_block_type(received_pcb_)) {
    case SBlockType::Wtx:
        // The terminal needs longer: its answer may take `value` read time-outs to begin.
        patience_ = std::max<std::uint8_t>(value, 1);
        break;
    case SBlockType::Ifs:
        // The terminal takes at most `value` data bytes per block from now on.
        if (value > 0) {
            max_block_data_ = std::min<std::uint16_t>(value, kMaxSendData);
        }
        break;
    case SBlockType::Resynch:
    case SBlockType::Abort:
    default:
        return Step::Fail; // the terminal gives the exchange up
    }
    prepare_s_block(static_cast<std::uint8_t>(received_pcb_ | kPcbSResponse), inf);
    return Step::Continue;
}

bool BlockProtocol::gather_response() {
    int skipped = 0;
    bool send = true;
    for (;;) {
        const bool received = send ? send_and_receive(patience_) : transport_.receive(receive_, 1);
        if (!received) {
            return false;
        }
        switch (parse_received()) {
        case Step::Fail:
            return false;
        case Step::Complete:
            return true;
        case Step::Continue:
            send = true;
            break;
        case Step::Skip:
            if (++skipped > kMaxSkippedBlocks) {
                return false;
            }
            send = false;
            break;
        }
    }
}

ExchangeResult BlockProtocol::exchange(ExchangeAddresses& addresses,
                                       std::span<const std::uint8_t> command,
                                       std::span<std::uint8_t> response, std::uint16_t& capacity,
                                       bool card_terminal_mode) {
    if (command.size() > command_.size()) {
        return ExchangeResult::Failure;
    }
    const bool reset_ct = addresses.destination == 1 && is_reset_ct(command);
    nad_ = make_nad(addresses.destination, addresses.source);
    if (out_of_step_ && !resynchronise()) {
        // A terminal that knows no S-blocks never answers RESYNCH: what needs no help from it is
        // a quiet line, everything that arrived dropped, and both numberings from 0 (as the
        // terminal's own after a failed block).
        if (!wait_for_quiet_line()) {
            return ExchangeResult::Failure;
        }
        restart_numbering();
        out_of_step_ = false;
    }
    if (reset_ct) {
        reset();
    }

    std::copy(command.begin(), command.end(), command_.begin());
    remaining_ = static_cast<std::uint16_t>(command.size());
    send_position_ = 0;
    response_count_ = 0;
    resend_requests_ = 0;
    s_requests_ = 0;
    patience_ = 1;
    nad_ = make_nad(addresses.destination, addresses.source);
    build_next_i_block();
    if (!gather_response()) {
        out_of_step_ = true;
        return ExchangeResult::Failure;
    }

    if (nad_destination(received_nad_) == kErrorResponseDestination) {
        const bool memory_error = response_count_ == 1 && response_[0] == 0x01;
        return memory_error ? ExchangeResult::TooLong : ExchangeResult::Failure;
    }
    if (capacity < response_count_ || response.size() < response_count_) {
        return ExchangeResult::TooLong;
    }
    const auto gathered = std::span(response_).first(response_count_);
    if (card_terminal_mode) {
        // Whether the status word changed is of no concern here.
        static_cast<void>(rewrite_read_binary_status(command, gathered));
    }
    std::copy(gathered.begin(), gathered.end(), response.begin());
    addresses.destination = nad_destination(received_nad_);
    addresses.source = nad_source(received_nad_);
    capacity = response_count_;
    return ExchangeResult::Success;
}

} // namespace brantel
