#pragma once
// The 8-bit ("ANSI") code page of the programs' texts: UTF-8 on Linux, and on Windows 10
// version 1903 and later, where the programs' manifests ask for the UTF-8 active code page. On
// older Windows it is the system's ANSI code page (1252 for German and English): the texts
// there are converted into it, and names it cannot hold cannot be reached (docs/windows.md).
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

bool ansi_code_page_is_utf8();

// `text` in the ANSI code page when that is not UTF-8, at most `max_bytes` long and cut before
// a character that no longer fits whole; what the code page lacks becomes '?'. Empty where the
// ANSI code page is UTF-8 (the callers convert themselves).
std::string utf16_to_legacy_ansi(std::u16string_view text, std::size_t max_bytes);

// Sets the console's input and output code pages to the ANSI code page, so that the texts the
// program writes show on the console as they are meant. Programs call it once at their start.
void use_ansi_code_page_on_console();

} // namespace platform
