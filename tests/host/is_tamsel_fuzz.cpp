// Fuzz target: the capability block search of the firmware family test.
#include "host/plugins/is_tamsel.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)morlin::scan_capability_block(std::span<const std::uint8_t>(data, size));
    return 0;
}
