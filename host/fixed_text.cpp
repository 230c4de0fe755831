#include "host/fixed_text.h"

#include <algorithm>
#include <cstring>

namespace morlin {

std::string record_field_text(const char (&field)[VUP_TEXT_SIZE]) {
    return std::string(field, strnlen(field, VUP_TEXT_SIZE - 1));
}

void set_record_field(char (&field)[VUP_TEXT_SIZE], std::string_view text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

} // namespace morlin
