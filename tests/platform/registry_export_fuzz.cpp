// Fuzzes the registry export parser with arbitrary text.
#include "platform/winapi/registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)platform::parse_registry_export(text);
    return 0;
}
