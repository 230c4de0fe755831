// Fuzz target: the configuration file reader (check value, records, SymLink search).
#include "host/config/config_file.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    (void)morlin::verify_config_image(image);
    if (size >= morlin::kCheckValueSize) {
        const auto parse = morlin::parse_config_records(image.subspan(morlin::kCheckValueSize));
        if (parse.contents.downloads.size() > 30) {
            __builtin_trap();
        }
        (void)morlin::build_config_image(parse.contents);
    }
    return 0;
}
