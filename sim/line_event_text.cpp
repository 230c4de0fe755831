#include "sim/terminal_simulator.h"

#include <cstdio>

namespace sim {
namespace {

const char* kind_name(LineEvent::Kind kind) {
    switch (kind) {
    case LineEvent::Kind::Connected:
        return "Connected";
    case LineEvent::Kind::Disconnected:
        return "Disconnected";
    case LineEvent::Kind::Refused:
        return "Refused";
    case LineEvent::Kind::BreakPulse:
        return "BreakPulse";
    case LineEvent::Kind::Purge:
        return "Purge";
    case LineEvent::Kind::LineSettings:
        return "LineSettings";
    case LineEvent::Kind::BlockIn:
        return "BlockIn";
    case LineEvent::Kind::BlockOut:
        return "BlockOut";
    case LineEvent::Kind::ByteIn:
        return "ByteIn";
    case LineEvent::Kind::ByteOut:
        return "ByteOut";
    case LineEvent::Kind::DataBlockIn:
        return "DataBlockIn";
    case LineEvent::Kind::ImageComplete:
        return "ImageComplete";
    case LineEvent::Kind::Unplugged:
        return "Unplugged";
    case LineEvent::Kind::Replugged:
        return "Replugged";
    }
    return "?";
}

} // namespace

std::string describe(const LineEvent& event) {
    std::string text = kind_name(event.kind);
    char buffer[32];
    switch (event.kind) {
    case LineEvent::Kind::BlockIn:
    case LineEvent::Kind::BlockOut:
        std::snprintf(buffer, sizeof buffer, " %02X %02X %02zX", unsigned{event.nad},
                      unsigned{event.pcb}, event.data.size());
        text += buffer;
        for (std::uint8_t byte : event.data) {
            std::snprintf(buffer, sizeof buffer, " %02X", unsigned{byte});
            text += buffer;
        }
        if (!event.check_ok) {
            text += " (bad check)";
        }
        break;
    case LineEvent::Kind::ByteIn:
    case LineEvent::Kind::ByteOut:
        std::snprintf(buffer, sizeof buffer, " %02X", event.value & 0xFFu);
        text += buffer;
        break;
    case LineEvent::Kind::Purge:
    case LineEvent::Kind::LineSettings:
    case LineEvent::Kind::DataBlockIn:
    case LineEvent::Kind::ImageComplete:
        text += " " + std::to_string(event.value);
        break;
    default:
        break;
    }
    return text;
}

} // namespace sim
