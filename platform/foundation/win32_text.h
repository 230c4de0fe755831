#pragma once
// Helpers that only the Windows files of this layer use: paths in the native form, UTF-8 and
// the wide texts, the last error taken over from GetLastError, and whether Wine runs the
// program.
#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// A path with '/' turned into '\'.
std::string windows_path(std::string_view path);
// UTF-8 to the wide (UTF-16) texts of the Windows API and back; bytes that are no UTF-8
// become U+FFFD.
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view wide);
// The programs' 8-bit texts (the active code page: UTF-8 under their manifest, the system's
// ANSI code page below Windows 10 1903) to the wide texts and back, for the wide functions of
// the user interface.
std::wstring wide_from_ansi(std::string_view text);
std::string ansi_from_wide(std::wstring_view wide);
// The text a Windows function writes into a buffer, whole: `call(buffer, size)` returns the
// text's length, or the size it needs (or the whole size when it cut the text); the buffer
// grows until the text fits. Nothing when the call fails (returns 0) or the text is longer
// than the longest path Windows has (32767 characters).
template <typename Call> std::optional<std::string> whole_text(Call call) {
    constexpr unsigned long kLongest = 32768 * 4; // UTF-8 bytes of the longest path
    std::string buffer(264, '\0');
    for (;;) {
        const unsigned long size = static_cast<unsigned long>(buffer.size());
        const unsigned long length = call(buffer.data(), size);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        if (size >= kLongest) {
            return std::nullopt;
        }
        buffer.assign(length > size ? length + 1 : size * 2, '\0');
    }
}
// Copies GetLastError() into the layer's last error; returns it.
unsigned long take_system_error();
// Whether the program runs under Wine (its ntdll exports wine_get_version), for the few
// answers in which Wine differs from Windows.
bool running_under_wine();

} // namespace platform::win32
