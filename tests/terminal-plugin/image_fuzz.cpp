// Fuzz target: a firmware file as the plug-in reads it (type, product, versions).
#include "terminal-plugin/protocol/firmware_image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vupporta::FirmwareImage image(std::vector<std::uint8_t>(data, data + size));
    volatile std::size_t sink = image.product().size() + image.firmware_version().size() +
                                image.application_version().size() + image.minimum_transfer_size() +
                                image.has_known_type();
    (void)sink;
    return 0;
}
