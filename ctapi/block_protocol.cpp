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
    send_sequence_ = 0;
    expected_sequence_ = 0;
    max_block_data_ = kMaxSendData;
    send_position_ = 0;
    remaining_ = 0;
    response_count_ = 0;
    more_ = false;
    nad_ = pcb_ = len_ = 0;
    last_i_len_ = 0;
    received_nad_ = received_pcb_ = received_len_ = 0;
    command_.fill(0);
    response_.fill(0);
    transmit_.fill(0);
    receive_.fill(0);
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

bool BlockProtocol::send_and_receive() {
    transmit_[kNadOffset] = nad_;
    transmit_[kPcbOffset] = pcb_;
    transmit_[kLenOffset] = len_;
    const std::size_t covered = kHeaderSize + len_;
    transmit_[covered] = lrc(std::span(transmit_).first(covered));
    receive_.fill(0);
    return transport_.transceive(transmit_, receive_);
}

BlockProtocol::Step BlockProtocol::parse_received() {
    received_nad_ = receive_[kNadOffset];
    received_pcb_ = receive_[kPcbOffset];
    received_len_ = receive_[kLenOffset];
    if (lrc(std::span(receive_).first(block_size(receive_))) != 0)
        return Step::Fail;
    switch (block_kind(received_pcb_)) {
    case BlockKind::I:
        return on_i_block();
    case BlockKind::R:
        return on_r_block();
    case BlockKind::S:
        break;
    }
    // The library does not answer S-blocks: what has been gathered is the response.
    return Step::Complete;
}

BlockProtocol::Step BlockProtocol::on_i_block() {
    const std::uint8_t sequence = (received_pcb_ & kPcbISequence) != 0 ? 1 : 0;
    if (sequence != expected_sequence_)
        return Step::Fail;
    // A chained response may not outgrow the response buffer.
    if (response_count_ + received_len_ > response_.size())
        return Step::Fail;
    expected_sequence_ ^= 1u;
    std::memcpy(response_.data() + response_count_, receive_.data() + kInfOffset, received_len_);
    response_count_ = static_cast<std::uint16_t>(response_count_ + received_len_);
    if ((received_pcb_ & kPcbIMoreData) == 0)
        return Step::Complete;
    prepare_r_block();
    return Step::Continue;
}

BlockProtocol::Step BlockProtocol::on_r_block() {
    if (!more_)
        return Step::Fail; // no chained command under way
    const std::uint8_t requested = (received_pcb_ & kPcbRSequence) != 0 ? 1 : 0;
    if (requested != send_sequence_) {
        // The terminal asks for the last piece again: step back over it.
        const std::uint8_t last = last_i_len_;
        remaining_ = static_cast<std::uint16_t>(remaining_ + last);
        send_position_ = static_cast<std::uint16_t>(send_position_ - last);
        send_sequence_ ^= 1u;
    }
    build_next_i_block();
    return Step::Continue;
}

ExchangeResult BlockProtocol::exchange(ExchangeAddresses& addresses,
                                       std::span<const std::uint8_t> command,
                                       std::span<std::uint8_t> response, std::uint16_t& capacity,
                                       bool card_terminal_mode) {
    if (command.size() > command_.size())
        return ExchangeResult::Failure;
    if (addresses.destination == 1 && is_reset_ct(command))
        reset();

    std::copy(command.begin(), command.end(), command_.begin());
    remaining_ = static_cast<std::uint16_t>(command.size());
    send_position_ = 0;
    response_count_ = 0;
    nad_ = make_nad(addresses.destination, addresses.source);
    build_next_i_block();

    for (;;) {
        if (!send_and_receive())
            return ExchangeResult::Failure;
        const Step step = parse_received();
        if (step == Step::Fail)
            return ExchangeResult::Failure;
        if (step == Step::Complete)
            break;
    }

    if (nad_destination(received_nad_) == kErrorResponseDestination) {
        const bool memory_error = response_count_ == 1 && response_[0] == 0x01;
        return memory_error ? ExchangeResult::TooLong : ExchangeResult::Failure;
    }
    if (capacity < response_count_ || response.size() < response_count_)
        return ExchangeResult::TooLong;
    const auto gathered = std::span(response_).first(response_count_);
    if (card_terminal_mode)
        rewrite_read_binary_status(command, gathered);
    std::copy(gathered.begin(), gathered.end(), response.begin());
    addresses.destination = nad_destination(received_nad_);
    addresses.source = nad_source(received_nad_);
    capacity = response_count_;
    return ExchangeResult::Success;
}

} // namespace brantel
