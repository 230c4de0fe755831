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

namespace {

std::wstring to_wide(UINT code_page, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(code_page, 0, text.data(), size, out.data(), length);
    return out;
}

std::string from_wide(UINT code_page, std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(code_page, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring wide(std::string_view utf8) {
    return to_wide(CP_UTF8, utf8);
}

std::string utf8(std::wstring_view wide) {
    return from_wide(CP_UTF8, wide);
}

std::wstring wide_from_ansi(std::string_view text) {
    return to_wide(CP_ACP, text);
}

std::string ansi_from_wide(std::wstring_view wide) {
    return from_wide(CP_ACP, wide);
}

unsigned long take_system_error() {
    const DWORD code = ::GetLastError();
    set_last_error(code);
    return code;
}

bool running_under_wine() {
    static const bool under_wine = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return under_wine;
}

} // namespace platform::win32
