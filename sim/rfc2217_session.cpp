#include "sim/rfc2217_session.h"

namespace sim {
namespace {

namespace rfc = platform::rfc2217;

constexpr std::string_view kSignature = "HalvaneSim terminal simulator";

bool server_performs(std::uint8_t option) {
    return option == rfc::kOptionBinary || option == rfc::kOptionSuppressGoAhead;
}

bool client_may_perform(std::uint8_t option) {
    return option == rfc::kOptionBinary || option == rfc::kOptionSuppressGoAhead ||
           option == rfc::kOptionComPort;
}

} // namespace

Rfc2217Session::Rfc2217Session(LineSink& sink) : sink_(sink) {}

void Rfc2217Session::request_option(std::uint8_t verb, std::uint8_t option) {
    OptionState& state = verb == rfc::kWill ? local_[option] : remote_[option];
    if (!state.enabled && !state.requested) {
        state.requested = true;
        rfc::append_negotiation(*out_, verb, option);
    }
}

void Rfc2217Session::start(std::vector<std::uint8_t>& out) {
    out_ = &out;
    request_option(rfc::kWill, rfc::kOptionBinary);
    request_option(rfc::kDo, rfc::kOptionBinary);
    request_option(rfc::kWill, rfc::kOptionSuppressGoAhead);
    request_option(rfc::kDo, rfc::kOptionSuppressGoAhead);
    request_option(rfc::kDo, rfc::kOptionComPort);
    out_ = nullptr;
}

void Rfc2217Session::receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    out_ = &out;
    parser_.feed(bytes, *this);
    out_ = nullptr;
}

void Rfc2217Session::append_data(std::vector<std::uint8_t>& out,
                                 std::span<const std::uint8_t> data) {
    rfc::append_escaped(out, data);
}

void Rfc2217Session::on_data(std::span<const std::uint8_t> data) {
    sink_.line_data(data);
}

// Option negotiation after RFC 1143: answer only a change of state, so that two sides that
// ask at the same time do not loop.
void Rfc2217Session::on_negotiation(std::uint8_t verb, std::uint8_t option) {
    switch (verb) {
    case rfc::kWill: {
        OptionState& state = remote_[option];
        if (!client_may_perform(option)) {
            rfc::append_negotiation(*out_, rfc::kDont, option);
            state = {};
        } else if (!state.enabled) {
            if (!state.requested) {
                rfc::append_negotiation(*out_, rfc::kDo, option);
            }
            state = {true, false};
        }
        break;
    }
    case rfc::kWont: {
        OptionState& state = remote_[option];
        if (state.enabled || state.requested) {
            if (!state.requested) {
                rfc::append_negotiation(*out_, rfc::kDont, option);
            }
            state = {};
        }
        break;
    }
    case rfc::kDo: {
        OptionState& state = local_[option];
        if (!server_performs(option)) {
            rfc::append_negotiation(*out_, rfc::kWont, option);
            state = {};
        } else if (!state.enabled) {
            if (!state.requested) {
                rfc::append_negotiation(*out_, rfc::kWill, option);
            }
            state = {true, false};
        }
        break;
    }
    case rfc::kDont: {
        OptionState& state = local_[option];
        if (state.enabled || state.requested) {
            if (!state.requested) {
                rfc::append_negotiation(*out_, rfc::kWont, option);
            }
            state = {};
        }
        break;
    }
    default:
        break;
    }
}

void Rfc2217Session::on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) {
    if (option != rfc::kOptionComPort) {
        return;
    }
    const auto message = rfc::decode_com_port(payload);
    if (!message || message->command >= rfc::kServerOffset) {
        return; // not a client command
    }
    com_port_command(message->command, message->value);
}

void Rfc2217Session::com_port_command(std::uint8_t command, std::span<const std::uint8_t> value) {
    const auto reply = static_cast<std::uint8_t>(command + rfc::kServerOffset);
    const std::uint8_t byte = value.empty() ? 0 : value[0];
    switch (command) {
    case rfc::kSignature:
        if (value.empty()) {
            rfc::append_com_port(*out_, reply,
                                 std::span(reinterpret_cast<const std::uint8_t*>(kSignature.data()),
                                           kSignature.size()));
        } else {
            client_signature_.assign(value.begin(), value.end());
        }
        return;
    case rfc::kSetBaudrate: {
        if (value.size() == 4) {
            const std::uint32_t baud = std::uint32_t{value[0]} << 24 |
                                       std::uint32_t{value[1]} << 16 |
                                       std::uint32_t{value[2]} << 8 | value[3];
            if (baud != 0) {
                line_.baud = baud;
                sink_.line_settings_changed();
            }
        }
        rfc::append_com_port_u32(*out_, reply, line_.baud);
        return;
    }
    case rfc::kSetDatasize:
        if (byte >= 5 && byte <= 8) {
            line_.data_size = byte;
            sink_.line_settings_changed();
        }
        rfc::append_com_port_u8(*out_, reply, line_.data_size);
        return;
    case rfc::kSetParity:
        if (byte >= rfc::kParityNone && byte <= rfc::kParitySpace) {
            line_.parity = byte;
            sink_.line_settings_changed();
        }
        rfc::append_com_port_u8(*out_, reply, line_.parity);
        return;
    case rfc::kSetStopsize:
        if (byte >= rfc::kStopOne && byte <= rfc::kStopOnePointFive) {
            line_.stop_size = byte;
            sink_.line_settings_changed();
        }
        rfc::append_com_port_u8(*out_, reply, line_.stop_size);
        return;
    case rfc::kSetControl:
        set_control(byte);
        return;
    case rfc::kFlowcontrolSuspend:
    case rfc::kFlowcontrolResume:
        return; // a notice; the same numbers from the server would mean the reverse
    case rfc::kSetLinestateMask:
        line_.linestate_mask = byte;
        rfc::append_com_port_u8(*out_, reply, byte);
        return;
    case rfc::kSetModemstateMask:
        line_.modemstate_mask = byte;
        rfc::append_com_port_u8(*out_, reply, byte);
        return;
    case rfc::kPurgeData:
        if (byte >= rfc::kPurgeReceive && byte <= rfc::kPurgeBoth) {
            sink_.line_purge(byte);
        }
        rfc::append_com_port_u8(*out_, reply, byte);
        return;
    default:
        return;
    }
}

void Rfc2217Session::set_control(std::uint8_t value) {
    const auto reply = static_cast<std::uint8_t>(rfc::kSetControl + rfc::kServerOffset);
    std::uint8_t answer = value;
    switch (value) {
    case rfc::kControlRequestFlow:
        answer = line_.flow;
        break;
    case rfc::kControlFlowNone:
    case rfc::kControlFlowXonXoff:
    case rfc::kControlFlowHardware:
        line_.flow = value;
        break;
    case rfc::kControlRequestBreak:
        answer = line_.break_on ? rfc::kControlBreakOn : rfc::kControlBreakOff;
        break;
    case rfc::kControlBreakOn:
    case rfc::kControlBreakOff: {
        const bool on = value == rfc::kControlBreakOn;
        // Acknowledge first, so the client is not kept waiting by the terminal's line.
        rfc::append_com_port_u8(*out_, reply, value);
        if (line_.break_on != on) {
            line_.break_on = on;
            sink_.line_break(on);
        }
        return;
    }
    case rfc::kControlRequestDtr:
        answer = line_.dtr ? rfc::kControlDtrOn : rfc::kControlDtrOff;
        break;
    case rfc::kControlDtrOn:
    case rfc::kControlDtrOff:
        line_.dtr = value == rfc::kControlDtrOn;
        sink_.line_settings_changed();
        break;
    case rfc::kControlRequestRts:
        answer = line_.rts ? rfc::kControlRtsOn : rfc::kControlRtsOff;
        break;
    case rfc::kControlRtsOn:
    case rfc::kControlRtsOff:
        line_.rts = value == rfc::kControlRtsOn;
        break;
    default:
        break; // inbound flow control and other values: acknowledged as they came
    }
    rfc::append_com_port_u8(*out_, reply, answer);
}

} // namespace sim
