#pragma once
// Comparison of names ignoring ASCII letter case, as Windows compares INI keys and paths.
#include <cctype>
#include <string_view>

namespace brantel {

inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace brantel
