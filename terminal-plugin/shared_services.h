#pragma once
// The helpers the plug-in shares with the host: platform class, UI language and string
// tables of a resource library.
#include <cstddef>
#include <cstdint>
#include <platform/winapi/library.h>
#include <string>

namespace vupporta {

// 0 Windows 9x family, 1 NT family, 2 other (or the version query failed).
int current_platform_class();
// The user's UI language ID; 0 when unknown.
std::uint16_t current_ui_language();
// String `id` of `library` in `language`, cut to a buffer of `buffer_size` bytes.
std::string load_resource_string(const platform::Library& library, unsigned id,
                                 std::uint16_t language, std::size_t buffer_size);

} // namespace vupporta
