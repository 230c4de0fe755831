#include "platform/foundation/ansi_code_page.h"

#include <windows.h>

namespace platform {
namespace {

std::string legacy_ansi(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, size, out.data(), length, nullptr, nullptr);
    return out;
}

} // namespace

bool ansi_code_page_is_utf8() {
    return ::GetACP() == CP_UTF8;
}

std::string utf16_to_legacy_ansi(std::u16string_view text, std::size_t max_bytes) {
    if (ansi_code_page_is_utf8()) {
        return {};
    }
    // A character of a double-byte code page is never cut in two: fewer characters are
    // converted until the text fits (texts are short: at most a few hundred characters).
    for (std::size_t count = text.size();; --count) {
        if (count > 0 && count < text.size() && text[count] >= 0xDC00 && text[count] <= 0xDFFF) {
            continue; // a surrogate pair stays whole
        }
        std::string converted = legacy_ansi(text.substr(0, count));
        if (converted.size() <= max_bytes || count == 0) {
            return converted.size() <= max_bytes ? converted : std::string();
        }
    }
}

void use_ansi_code_page_on_console() {
    ::SetConsoleOutputCP(::GetACP());
    ::SetConsoleCP(::GetACP());
}

} // namespace platform
