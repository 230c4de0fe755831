// Parser of the registry export format ("Windows Registry Editor Version 5.00"), as regedit
// writes it. Only keys below HKEY_LOCAL_MACHINE are kept; malformed lines are skipped.
#include "platform/winapi/registry_export.h"

#include "platform/winapi/registry.h"

#include <cctype>

namespace platform {
namespace {

constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads a quoted text at the start of `text` (with \\ and \" escapes); advances past it.
std::optional<std::string> take_quoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt; // no closing quote
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "aa,bb,cc" (spaces allowed around the commas).
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    text = trim(text);
    if (text.empty()) {
        return bytes;
    }
    while (true) {
        text = trim(text);
        if (text.size() < 2 || hex_digit(text[0]) < 0 || hex_digit(text[1]) < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(hex_digit(text[0]) * 16 + hex_digit(text[1])));
        text = trim(text.substr(2));
        if (text.empty()) {
            return bytes;
        }
        if (text.front() != ',') {
            return std::nullopt;
        }
        text.remove_prefix(1);
    }
}

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::vector<std::string> utf16le_strings(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> strings(1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) {
            strings.emplace_back();
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low = static_cast<char32_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(strings.back(), 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        append_utf8(strings.back(), (unit >= 0xD800 && unit <= 0xDFFF) ? U'?' : unit);
    }
    return strings;
}

namespace {

std::optional<RegistryValue> parse_data(std::string_view data) {
    RegistryValue value;
    if (!data.empty() && data.front() == '"') {
        auto text = take_quoted(data);
        if (!text || !trim(data).empty()) {
            return std::nullopt;
        }
        value.kind = RegistryValue::Kind::String;
        value.text = std::move(*text);
        return value;
    }
    auto colon = data.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view type = data.substr(0, colon);
    std::string_view rest = data.substr(colon + 1);
    if (equal_ignoring_case(type, "dword")) {
        rest = trim(rest);
        if (rest.empty() || rest.size() > 8) {
            return std::nullopt;
        }
        std::uint32_t number = 0;
        for (char c : rest) {
            int digit = hex_digit(c);
            if (digit < 0) {
                return std::nullopt;
            }
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        value.kind = RegistryValue::Kind::Dword;
        value.dword = number;
        return value;
    }
    auto bytes = parse_hex_bytes(rest);
    if (!bytes) {
        return std::nullopt;
    }
    if (equal_ignoring_case(type, "hex(7)")) {
        value.kind = RegistryValue::Kind::MultiString;
        auto strings = utf16le_strings(*bytes);
        while (!strings.empty() && strings.back().empty()) {
            strings.pop_back(); // the terminating empty strings
        }
        value.strings = std::move(strings);
    } else if (equal_ignoring_case(type, "hex(2)") || equal_ignoring_case(type, "hex(1)")) {
        value.kind = RegistryValue::Kind::String;
        value.text = utf16le_strings(*bytes).front();
    } else if (equal_ignoring_case(type, "hex(4)") && bytes->size() == 4) {
        value.kind = RegistryValue::Kind::Dword;
        value.dword =
            static_cast<std::uint32_t>((*bytes)[0] | ((*bytes)[1] << 8) | ((*bytes)[2] << 16)) |
            (static_cast<std::uint32_t>((*bytes)[3]) << 24);
    } else if (equal_ignoring_case(type, "hex") ||
               (type.size() > 5 && equal_ignoring_case(type.substr(0, 4), "hex(") &&
                type.back() == ')')) {
        value.kind = RegistryValue::Kind::Binary;
        value.raw = std::move(*bytes);
    } else {
        return std::nullopt;
    }
    return value;
}

// The key below HKEY_LOCAL_MACHINE named by a section header, or nothing for other hives.
std::optional<std::string> section_key(std::string_view header) {
    if (header.size() < kMachineRoot.size() ||
        !equal_ignoring_case(header.substr(0, kMachineRoot.size()), kMachineRoot)) {
        return std::nullopt;
    }
    std::string_view rest = header.substr(kMachineRoot.size());
    if (!rest.empty() && rest.front() != '\\') {
        return std::nullopt; // HKEY_LOCAL_MACHINEX
    }
    return normalise_registry_key(rest);
}

// Joins continuation lines (ending in '\') into logical lines.
std::vector<std::string> logical_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = trim(line);
        // Only value lines continue (a hex list broken after a comma).
        bool continues = !line.empty() && line.back() == '\\' &&
                         (continuing || line.find('=') != std::string_view::npos) &&
                         line.front() != '[';
        current += continues ? line.substr(0, line.size() - 1) : line;
        continuing = continues;
        if (!continues) {
            lines.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) {
        lines.push_back(std::move(current));
    }
    return lines;
}

} // namespace

std::string normalise_registry_key(std::string_view key) {
    while (!key.empty() && key.front() == '\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == '\\') {
        key.remove_suffix(1);
    }
    return std::string(key);
}

bool registry_keys_equal(std::string_view a, std::string_view b) {
    return equal_ignoring_case(a, b);
}

RegistryExport parse_registry_export_keys(std::string_view text) {
    RegistryExport result;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::optional<std::string> key; // nothing: outside a section we serve
    for (const std::string& line : logical_lines(text)) {
        std::string_view view = trim(line);
        if (view.empty() || view.front() == ';') {
            continue;
        }
        if (view.front() == '[') {
            key.reset();
            if (view.back() == ']' && view.size() >= 2 && view[1] != '-') {
                key = section_key(view.substr(1, view.size() - 2));
                if (key) {
                    result.keys.push_back(*key);
                }
            }
            continue;
        }
        if (!key) {
            continue;
        }
        std::string name;
        if (view.front() == '@') {
            view.remove_prefix(1);
        } else {
            auto quoted = take_quoted(view);
            if (!quoted) {
                continue;
            }
            name = std::move(*quoted);
        }
        view = trim(view);
        if (view.empty() || view.front() != '=') {
            continue;
        }
        view = trim(view.substr(1));
        if (view == "-") {
            continue; // a deletion
        }
        if (auto value = parse_data(view)) {
            value->key = *key;
            value->name = std::move(name);
            result.values.push_back(std::move(*value));
        }
    }
    return result;
}

std::vector<RegistryValue> parse_registry_export(std::string_view text) {
    return parse_registry_export_keys(text).values;
}

} // namespace platform
