#include "platform/serial/rfc2217_codec.h"

namespace platform::rfc2217 {

StreamParser::StreamParser(std::size_t max_payload) : max_payload_(max_payload) {}

void StreamParser::reset() {
    state_ = State::Data;
    verb_ = 0;
    sb_option_ = 0;
    sb_overflow_ = false;
    payload_.clear();
}

void StreamParser::end_subnegotiation(StreamHandler& handler) {
    if (sb_overflow_) {
        ++dropped_;
    } else {
        handler.on_subnegotiation(sb_option_, payload_);
    }
    payload_.clear();
    sb_overflow_ = false;
}

void StreamParser::feed(std::span<const std::uint8_t> bytes, StreamHandler& handler) {
    static constexpr std::uint8_t kEscapedIac[1] = {kIac};
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        switch (state_) {
        case State::Data: {
            // Hand over the longest run of plain data in one call.
            std::size_t run_end = i;
            while (run_end < n && bytes[run_end] != kIac) {
                ++run_end;
            }
            if (run_end > i) {
                handler.on_data(bytes.subspan(i, run_end - i));
            }
            i = run_end;
            if (i < n) { // an IAC
                state_ = State::Iac;
                ++i;
            }
            break;
        }
        case State::Iac: {
            const std::uint8_t c = bytes[i++];
            if (c == kIac) {
                handler.on_data(kEscapedIac);
                state_ = State::Data;
            } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
                verb_ = c;
                state_ = State::Verb;
            } else if (c == kSb) {
                state_ = State::SbOption;
            } else {
                // IAC SE outside a subnegotiation is noise; report the others.
                if (c != kSe) {
                    handler.on_command(c);
                }
                state_ = State::Data;
            }
            break;
        }
        case State::Verb:
            handler.on_negotiation(verb_, bytes[i++]);
            state_ = State::Data;
            break;
        case State::SbOption:
            sb_option_ = bytes[i++];
            payload_.clear();
            sb_overflow_ = false;
            state_ = State::SbPayload;
            break;
        case State::SbPayload: {
            const std::uint8_t c = bytes[i++];
            if (c == kIac) {
                state_ = State::SbIac;
            } else if (payload_.size() < max_payload_) {
                payload_.push_back(c);
            } else {
                sb_overflow_ = true;
            }
            break;
        }
        case State::SbIac: {
            const std::uint8_t c = bytes[i++];
            if (c == kIac) {
                if (payload_.size() < max_payload_) {
                    payload_.push_back(kIac);
                } else {
                    sb_overflow_ = true;
                }
                state_ = State::SbPayload;
            } else if (c == kSe) {
                end_subnegotiation(handler);
                state_ = State::Data;
            } else {
                // A subnegotiation broken off by another command: drop it and take the
                // command as it stands.
                payload_.clear();
                sb_overflow_ = false;
                ++dropped_;
                state_ = State::Iac;
                --i;
            }
            break;
        }
        }
    }
}

std::optional<std::uint32_t> ComPortMessage::number() const {
    if (value.size() == 1) {
        return value[0];
    }
    if (value.size() == 4) {
        return (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
               (std::uint32_t{value[2]} << 8) | std::uint32_t{value[3]};
    }
    return std::nullopt;
}

std::optional<ComPortMessage> decode_com_port(std::span<const std::uint8_t> payload) {
    if (payload.empty()) {
        return std::nullopt;
    }
    return ComPortMessage{payload[0], payload.subspan(1)};
}

void append_escaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data) {
    out.reserve(out.size() + data.size() + 8);
    std::size_t i = 0;
    while (i < data.size()) {
        std::size_t run_end = i;
        while (run_end < data.size() && data[run_end] != kIac) {
            ++run_end;
        }
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(run_end));
        if (run_end < data.size()) {
            out.push_back(kIac);
            out.push_back(kIac);
            ++run_end;
        }
        i = run_end;
    }
}

std::array<std::uint8_t, 3> negotiation(std::uint8_t verb, std::uint8_t option) {
    return {kIac, verb, option};
}

void append_negotiation(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option) {
    const auto frame = negotiation(verb, option);
    out.insert(out.end(), frame.begin(), frame.end());
}

void append_subnegotiation(std::vector<std::uint8_t>& out, std::uint8_t option,
                           std::span<const std::uint8_t> payload) {
    out.push_back(kIac);
    out.push_back(kSb);
    out.push_back(option);
    append_escaped(out, payload);
    out.push_back(kIac);
    out.push_back(kSe);
}

void append_com_port(std::vector<std::uint8_t>& out, std::uint8_t command,
                     std::span<const std::uint8_t> value) {
    std::vector<std::uint8_t> payload;
    payload.reserve(1 + value.size());
    payload.push_back(command);
    payload.insert(payload.end(), value.begin(), value.end());
    append_subnegotiation(out, kOptionComPort, payload);
}

void append_com_port_u8(std::vector<std::uint8_t>& out, std::uint8_t command, std::uint8_t value) {
    const std::uint8_t bytes[1] = {value};
    append_com_port(out, command, bytes);
}

void append_com_port_u32(std::vector<std::uint8_t>& out, std::uint8_t command,
                         std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    append_com_port(out, command, bytes);
}

} // namespace platform::rfc2217
