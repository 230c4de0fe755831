#include "sim/scenario.h"

#include "platform/files/files.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

namespace sim {
namespace {

constexpr std::uint64_t kMaxScenarioBytes = 1024 * 1024;

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// Decimal, or hexadecimal with 0x.
bool parse_number(std::string_view text, std::uint64_t max, std::uint64_t& out) {
    text = trim(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > max) {
        return false;
    }
    out = value;
    return true;
}

template <typename T> bool parse_unsigned(std::string_view text, T& out) {
    std::uint64_t value = 0;
    if (!parse_number(text, std::numeric_limits<T>::max(), value)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool parse_bool(std::string_view text, bool& out) {
    const std::string value = lower(trim(text));
    if (value == "1" || value == "yes" || value == "true" || value == "on") {
        out = true;
        return true;
    }
    if (value == "0" || value == "no" || value == "false" || value == "off") {
        out = false;
        return true;
    }
    return false;
}

// Hexadecimal bytes, with or without spaces: "6A 82", "6a82".
bool parse_hex_bytes(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) != 0 || c == ':' || c == ',') {
            continue;
        }
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

bool parse_status_word(std::string_view text, std::uint16_t& out) {
    text = trim(text);
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    std::vector<std::uint8_t> bytes;
    if (!parse_hex_bytes(text, bytes) || bytes.size() != 2) {
        return false;
    }
    out = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    return true;
}

bool parse_byte(std::string_view text, std::uint8_t& out) {
    // A protocol byte: 0x15, 15 (hexadecimal), or one quoted character 'f'.
    text = trim(text);
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'') {
        out = static_cast<std::uint8_t>(text[1]);
        return true;
    }
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    std::vector<std::uint8_t> bytes;
    if (text.size() == 1) {
        return parse_hex_bytes(std::string("0") + std::string(text), bytes) &&
               (out = bytes[0], true);
    }
    if (!parse_hex_bytes(text, bytes) || bytes.size() != 1) {
        return false;
    }
    out = bytes[0];
    return true;
}

// "1.05" → {1, 5}; "2.1.3" → {2, 1, 3}.
bool parse_version(std::string_view text, std::size_t parts, std::vector<std::uint8_t>& out) {
    out.clear();
    text = trim(text);
    while (true) {
        const std::size_t dot = text.find('.');
        std::uint8_t part = 0;
        if (!parse_unsigned(text.substr(0, dot), part)) {
            return false;
        }
        out.push_back(part);
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
    }
    return out.size() == parts;
}

bool parse_states(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    std::string normalised(text);
    std::replace(normalised.begin(), normalised.end(), ',', ' ');
    std::istringstream in(normalised);
    for (std::string item; in >> item;) {
        std::uint8_t state = 0;
        if (!parse_unsigned(item, state)) {
            return false;
        }
        out.push_back(state);
    }
    return !out.empty();
}

bool parse_encoding(std::string_view text, VersionEncoding& out) {
    const std::string value = lower(trim(text));
    if (value == "binary" || value == "h") {
        out = VersionEncoding::Binary;
        return true;
    }
    if (value == "text") {
        out = VersionEncoding::Text;
        return true;
    }
    return false;
}

// Identification field: text, right-aligned behind zero bytes; or "hex:" and 14 bytes.
bool parse_identification(std::string_view text, std::array<std::uint8_t, 14>& out) {
    text = trim(text);
    out.fill(0);
    if (text.starts_with("hex:")) {
        std::vector<std::uint8_t> bytes;
        if (!parse_hex_bytes(text.substr(4), bytes) || bytes.size() != out.size()) {
            return false;
        }
        std::copy(bytes.begin(), bytes.end(), out.begin());
        return true;
    }
    if (text.size() > out.size()) {
        return false;
    }
    std::copy(text.begin(), text.end(), out.end() - static_cast<std::ptrdiff_t>(text.size()));
    return true;
}

using Setter = std::function<bool(Scenario&, std::string_view)>;

template <typename T> Setter number(T SimulatorOptions::*member) {
    return
        [member](Scenario& s, std::string_view v) { return parse_unsigned(v, s.options.*member); };
}
template <typename T> Setter status_number(T TerminalStatus::*member) {
    return [member](Scenario& s, std::string_view v) {
        return parse_unsigned(v, s.options.status.*member);
    };
}
template <typename T> Setter fault_number(T Faults::*member) {
    return [member](Scenario& s, std::string_view v) {
        return parse_unsigned(v, s.options.faults.*member);
    };
}
Setter text(std::string SimulatorOptions::*member) {
    return [member](Scenario& s, std::string_view v) {
        s.options.*member = std::string(trim(v));
        return true;
    };
}
Setter status_word(std::uint16_t TerminalStatus::*member) {
    return [member](Scenario& s, std::string_view v) {
        return parse_status_word(v, s.options.status.*member);
    };
}

const std::map<std::string, Setter, std::less<>>& setters() {
    static const std::map<std::string, Setter, std::less<>> table = {
        // Device and announcement.
        {"model",
         [](Scenario& s, std::string_view v) {
             const std::string value = lower(trim(v));
             if (value == "halvane") {
                 s.options.model = TerminalModel::Halvane;
             } else if (value == "pellax") {
                 s.options.model = TerminalModel::Pellax;
             } else {
                 return false;
             }
             return true;
         }},
        {"serial", text(&SimulatorOptions::serial)},
        {"port_name", text(&SimulatorOptions::port_name)},
        {"devices_dir", text(&SimulatorOptions::devices_dir)},
        {"device_name", text(&SimulatorOptions::device_name)},
        {"announce_as",
         [](Scenario& s, std::string_view v) {
             const std::string value = lower(trim(v));
             if (value == "ports") {
                 s.options.announce_as = AnnounceAs::Ports;
             } else if (value == "modem" || value == "modem9x") {
                 s.options.announce_as = AnnounceAs::Modem9x;
             } else {
                 return false;
             }
             return true;
         }},
        {"announce",
         [](Scenario& s, std::string_view v) { return parse_bool(v, s.options.announce); }},
        {"tcp_port", number(&SimulatorOptions::tcp_port)},
        // Line and timing.
        {"line_baud", number(&SimulatorOptions::line_baud)},
        {"response_delay_ms", number(&SimulatorOptions::response_delay_ms)},
        {"restart_requests", number(&SimulatorOptions::restart_requests)},
        {"image_size", number(&SimulatorOptions::image_size)},
        {"image_end_pause_ms", number(&SimulatorOptions::image_end_pause_ms)},
        {"replug_after_ms", number(&SimulatorOptions::replug_after_ms)},
        // CT-API side.
        {"max_response_inf",
         [](Scenario& s, std::string_view v) {
             return parse_unsigned(v, s.options.max_response_inf) && s.options.max_response_inf > 0;
         }},
        {"card_present",
         [](Scenario& s, std::string_view v) { return parse_bool(v, s.options.card_present); }},
        {"card_content",
         [](Scenario& s, std::string_view v) {
             return parse_hex_bytes(v, s.options.card_content);
         }},
        {"card_content_size",
         [](Scenario& s, std::string_view v) {
             std::uint32_t size = 0;
             if (!parse_unsigned(v, size) || size > 65536) {
                 return false;
             }
             s.options.card_content.resize(size);
             for (std::uint32_t i = 0; i < size; ++i) {
                 s.options.card_content[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
             }
             return true;
         }},
        // Status response.
        {"app_version",
         [](Scenario& s, std::string_view v) {
             std::vector<std::uint8_t> parts;
             if (!parse_version(v, 2, parts)) {
                 return false;
             }
             s.options.status.app_major = parts[0];
             s.options.status.app_minor = parts[1];
             return true;
         }},
        {"app_encoding",
         [](Scenario& s, std::string_view v) {
             return parse_encoding(v, s.options.status.app_encoding);
         }},
        {"app_text",
         [](Scenario& s, std::string_view v) {
             s.options.status.app_text = std::string(trim(v));
             s.options.status.app_encoding = VersionEncoding::Text;
             return s.options.status.app_text.size() <= 5;
         }},
        {"fw_version",
         [](Scenario& s, std::string_view v) {
             std::vector<std::uint8_t> parts;
             if (!parse_version(v, 3, parts)) {
                 return false;
             }
             s.options.status.fw_major = parts[0];
             s.options.status.fw_minor = parts[1];
             s.options.status.fw_build = parts[2];
             return true;
         }},
        {"fw_encoding",
         [](Scenario& s, std::string_view v) {
             return parse_encoding(v, s.options.status.fw_encoding);
         }},
        {"fw_text",
         [](Scenario& s, std::string_view v) {
             s.options.status.fw_text = std::string(trim(v));
             s.options.status.fw_encoding = VersionEncoding::Text;
             return s.options.status.fw_text.size() <= 5;
         }},
        {"stored_records", status_number(&TerminalStatus::stored_records)},
        {"download_states",
         [](Scenario& s, std::string_view v) {
             return parse_states(v, s.options.status.download_states);
         }},
        {"readiness", status_number(&TerminalStatus::readiness)},
        {"identification",
         [](Scenario& s, std::string_view v) {
             return parse_identification(v, s.options.status.identification);
         }},
        {"status_word", status_word(&TerminalStatus::status_word)},
        {"short_status_word", status_word(&TerminalStatus::short_status_word)},
        {"reset_status_word", status_word(&TerminalStatus::reset_status_word)},
        // Faults.
        {"silent_requests", fault_number(&Faults::silent_requests)},
        {"wrong_answer_data_block", fault_number(&Faults::wrong_answer_data_block)},
        {"wrong_answer_byte",
         [](Scenario& s, std::string_view v) {
             return parse_byte(v, s.options.faults.wrong_answer_byte);
         }},
        {"wrong_answer_mode_request", fault_number(&Faults::wrong_answer_mode_request)},
        {"wrong_answer_upgrade_request", fault_number(&Faults::wrong_answer_upgrade_request)},
        {"withhold_final_ack", fault_number(&Faults::withhold_final_ack)},
        {"bad_check_response", fault_number(&Faults::bad_check_response)},
        {"wrong_sequence_response", fault_number(&Faults::wrong_sequence_response)},
        {"error_response", fault_number(&Faults::error_response)},
        {"late_answers", fault_number(&Faults::late_answers)},
        {"wait_extensions", fault_number(&Faults::wait_extensions)},
        {"error_response_byte",
         [](Scenario& s, std::string_view v) {
             return parse_byte(v, s.options.faults.error_response_byte);
         }},
        {"unplug_after_data_blocks", fault_number(&Faults::unplug_after_data_blocks)},
        {"unplug_during_handshake",
         [](Scenario& s, std::string_view v) {
             return parse_bool(v, s.options.faults.unplug_during_handshake);
         }},
        {"unplug_after_status_queries", fault_number(&Faults::unplug_after_status_queries)},
        {"port_held",
         [](Scenario& s, std::string_view v) { return parse_bool(v, s.options.faults.port_held); }},
        // Program.
        {"image_out",
         [](Scenario& s, std::string_view v) {
             s.image_out = std::string(trim(v));
             return true;
         }},
        {"exit_after_download",
         [](Scenario& s, std::string_view v) { return parse_bool(v, s.exit_after_download); }},
    };
    return table;
}

} // namespace

bool apply_setting(Scenario& scenario, std::string_view key, std::string_view value,
                   std::string& error) {
    std::string name = lower(trim(key));
    std::replace(name.begin(), name.end(), '-', '_');
    const auto& table = setters();
    const auto it = table.find(name);
    if (it == table.end()) {
        error = "unknown setting \"" + name + "\"";
        return false;
    }
    if (!it->second(scenario, value)) {
        error = "bad value for " + name + ": \"" + std::string(trim(value)) + "\"";
        return false;
    }
    return true;
}

bool apply_scenario_text(Scenario& scenario, std::string_view text, std::string& error) {
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = "line " + std::to_string(line_number) + ": expected key = value";
            return false;
        }
        std::string reason;
        if (!apply_setting(scenario, line.substr(0, equals), line.substr(equals + 1), reason)) {
            error = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
    }
    return true;
}

bool apply_scenario_file(Scenario& scenario, const std::string& path, std::string& error) {
    // A regular file only, and not a large one: a pipe or a device name is refused at once.
    const auto bytes = platform::read_file(path, kMaxScenarioBytes);
    if (!bytes) {
        error = platform::last_error() == platform::kErrorInsufficientBuffer
                    ? path + ": too large for a scenario file"
                    : "cannot read " + path;
        return false;
    }
    const std::string text(bytes->begin(), bytes->end());
    if (!apply_scenario_text(scenario, text, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace sim
