#include "platform/foundation/win32_text.h"

#include "platform/foundation/last_error.h"

#include <windows.h>

namespace platform::win32 {

std::string windows_path(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
    return out;
}

std::string utf8(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

unsigned long take_system_error() {
    const DWORD code = ::GetLastError();
    set_last_error(code);
    return code;
}

} // namespace platform::win32
