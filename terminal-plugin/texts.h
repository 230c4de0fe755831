#pragma once
// Texts by string number, in the plug-in's resource language.
#include <cstddef>
#include <string>

namespace vupporta {

inline constexpr std::size_t kShortTextSize = 200; // progress texts, labels, warning parts
inline constexpr std::size_t kErrorTextSize = 260;

class Texts {
  public:
    virtual ~Texts() = default;
    // The string `id`, cut to what a buffer of `buffer_size` bytes holds; empty when the string
    // does not exist.
    virtual std::string text(unsigned id, std::size_t buffer_size = kShortTextSize) const = 0;
};

} // namespace vupporta
