#pragma once
// UTF-16 texts to the 8-bit "ANSI" encoding (platform/foundation/ansi_code_page.h): UTF-8 on
// Linux and on Windows with the UTF-8 code page, the system's ANSI code page on older Windows.
#include <span>
#include <string>
#include <string_view>

namespace shared {

// Writes `text` into `buffer` as a terminated ANSI text: the buffer is cleared first, then
// filled with at most buffer.size() - 1 bytes, cut before a character that no longer fits
// whole. An unpaired surrogate becomes '?', as the Windows conversion writes its default
// character. An empty buffer stays untouched.
void utf16_to_ansi(std::u16string_view text, std::span<char> buffer);

// The whole text as UTF-8.
std::string utf16_to_utf8(std::u16string_view text);

} // namespace shared
