// Fuzzes the version-block reader with arbitrary file contents.
#include "platform/winapi/version_info.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)platform::parse_version_info(std::span<const std::uint8_t>(data, size));
    return 0;
}
