#include "texts-and-log/ansi_text.h"

#include "platform/foundation/ansi_code_page.h"

#include <algorithm>

namespace shared {
namespace {

// Appends one code point as UTF-8 to `out` (up to 4 bytes); returns the count written.
std::size_t encode(char32_t code, char (&out)[4]) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code >> 6));
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (code >> 18));
    out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

// Calls sink(bytes, count) for every character of `text`; stops when sink returns false.
template <typename Sink> void for_each_utf8(std::u16string_view text, Sink sink) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = U'?';
        }
        char bytes[4];
        std::size_t count = encode(code, bytes);
        if (!sink(bytes, count)) {
            return;
        }
    }
}

} // namespace

void utf16_to_ansi(std::u16string_view text, std::span<char> buffer) {
    if (buffer.empty()) {
        return;
    }
    std::fill(buffer.begin(), buffer.end(), '\0');
    if (!platform::ansi_code_page_is_utf8()) {
        const std::string converted = platform::utf16_to_legacy_ansi(text, buffer.size() - 1);
        std::copy(converted.begin(), converted.end(), buffer.begin());
        return;
    }
    std::size_t used = 0;
    const std::size_t room = buffer.size() - 1; // the last byte stays the terminator
    for_each_utf8(text, [&](const char* bytes, std::size_t count) {
        if (count > room - used) {
            return false;
        }
        std::copy(bytes, bytes + count, buffer.begin() + static_cast<std::ptrdiff_t>(used));
        used += count;
        return true;
    });
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    for_each_utf8(text, [&out](const char* bytes, std::size_t count) {
        out.append(bytes, count);
        return true;
    });
    return out;
}

} // namespace shared
