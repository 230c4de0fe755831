#pragma once
// Fixed 260-byte text fields (file names, record fields, version lines): texts are cut to
// 259 bytes and always terminated; fields read from outside are never read past their end.
#include "vup_plugin.h"

#include <string>
#include <string_view>

namespace morlin {

// Text of a fixed field: up to its first zero byte, at most 259 bytes.
std::string record_field_text(const char (&field)[VUP_TEXT_SIZE]);
// Fills a fixed field with the text cut to 259 bytes, the rest zero.
void set_record_field(char (&field)[VUP_TEXT_SIZE], std::string_view text);

} // namespace morlin
