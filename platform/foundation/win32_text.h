#pragma once
// Helpers that only the Windows files of this layer use: paths in the native form, UTF-8 and
// the wide texts, and the last error taken over from GetLastError.
#include <string>
#include <string_view>

namespace platform::win32 {

// A path with '/' turned into '\'.
std::string windows_path(std::string_view path);
// UTF-8 to the wide (UTF-16) texts of the Windows API and back; bytes that are no UTF-8
// become U+FFFD.
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view wide);
// Copies GetLastError() into the layer's last error; returns it.
unsigned long take_system_error();

} // namespace platform::win32
