#pragma once
// Strings of a resource module by number, in a chosen language, into fixed buffers: how
// Morlin and VUPPorta load every text they show or log.
#include "platform/winapi/library.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace shared {

inline constexpr std::uint16_t kLanguageGerman = 0x0407;
inline constexpr std::uint16_t kLanguageEnglish = 0x0409;
inline constexpr std::size_t kTextBufferSize = 260;

// Loads string `id` of `module` in `language` (no fall-back to another language) into
// `buffer`. Afterwards the buffer always holds a terminated text, possibly empty: it is
// cleared, then filled with the string converted to the ANSI encoding (UTF-8 here), cut to
// buffer.size() - 1 bytes without splitting a character. A null module, a missing block or
// string, or an id above 65535 leave it empty. Any thread.
void load_resource_string(const platform::Library* module, unsigned id, std::uint16_t language,
                          std::span<char> buffer);

// The same, returning the text that a buffer of `buffer_size` bytes would hold.
std::string resource_string(const platform::Library& module, unsigned id, std::uint16_t language,
                            std::size_t buffer_size = kTextBufferSize);

} // namespace shared
