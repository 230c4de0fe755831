#pragma once
// Names compared ignoring ASCII letter case, as Windows compares hardware IDs and module names.
#include <algorithm>
#include <cctype>
#include <string_view>

namespace platform {

inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace platform
