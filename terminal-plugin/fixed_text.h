#pragma once
// Fixed-size text fields of the plug-in's records: always terminated, longer texts cut.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace vupporta {

// Copies `text` into a field of `size` bytes, cut so that the terminating zero always fits.
inline void copy_text(char* field, std::size_t size, std::string_view text) {
    if (size == 0) {
        return;
    }
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

template <std::size_t N> void copy_text(char (&field)[N], std::string_view text) {
    copy_text(field, N, text);
}

// The text held in a field of `size` bytes, up to its terminating zero or the field's end.
inline std::string_view field_text(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

template <std::size_t N> std::string_view field_text(const char (&field)[N]) {
    return field_text(field, N);
}

} // namespace vupporta
