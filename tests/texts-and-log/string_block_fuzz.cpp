// Fuzzes the resource-image lookup and the string-block walker with arbitrary bytes: the
// first two bytes choose the string number, the rest is taken as an image and as a block.
#include "platform/winapi/resource.h"
#include "texts-and-log/ansi_text.h"
#include "texts-and-log/string_block.h"

#include <array>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    unsigned id = static_cast<unsigned>(data[0] | (data[1] << 8));
    std::span<const std::uint8_t> rest(data + 2, size - 2);
    std::array<char, 16> buffer{};
    if (auto block = platform::find_resource_in_image(rest, platform::kResourceTypeString,
                                                      shared::string_block_number(id), 0x0409)) {
        if (auto text = shared::string_in_block(*block, shared::string_block_index(id))) {
            shared::utf16_to_ansi(*text, buffer);
        }
    }
    if (auto text = shared::string_in_block(rest, shared::string_block_index(id))) {
        shared::utf16_to_ansi(*text, buffer);
    }
    return 0;
}
