// Fuzz target: a reader description file, through the profile reader (libinih with the
// Windows rules) and the description's key rules.
#include "platform/profile/profile.h"
#include "wrapper/reader_description.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto description = valdrun::parse_reader_description(text);
    if (description && (description->descriptor.size() > platform::kProfileValueLimit ||
                        description->slot_name[0].size() > platform::kProfileValueLimit))
        __builtin_trap();
    const auto profile = platform::Profile::parse(text);
    if (const auto value = profile.string("ReaderDetails", "ReaderName", 8);
        value && value->size() > 8)
        __builtin_trap();
    return 0;
}
