#pragma once
// A host error: a code that is also a string number, or a plug-in's result code.
#include <cstdint>

namespace morlin {

// A function that returns a HostError reports a failure the caller must handle or pass on.
struct [[nodiscard]] HostError {
    std::int32_t code = 0;
    std::int32_t from_plugin = 0; // non-zero: the text comes from the plug-in
    std::uint8_t plugin_index = 0;

    bool failed() const { return code != 0; }
    static HostError none() { return {}; }
    static HostError host(std::int32_t code) { return {code, 0, 0}; }
    static HostError plugin(std::int32_t code, int index) {
        return {code, 1, static_cast<std::uint8_t>(index)};
    }
};

} // namespace morlin
