#pragma once
// Helpers that only the Windows files of this layer use: paths in the native form, and the
// last error taken over from GetLastError.
#include <string>
#include <string_view>

namespace platform::win32 {

// A path with '/' turned into '\'.
std::string windows_path(std::string_view path);
// Copies GetLastError() into the layer's last error; returns it.
unsigned long take_system_error();

} // namespace platform::win32
