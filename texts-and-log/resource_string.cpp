#include "texts-and-log/resource_string.h"

#include "platform/winapi/resource.h"
#include "texts-and-log/ansi_text.h"
#include "texts-and-log/string_block.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace shared {

void load_resource_string(const platform::Library* module, unsigned id, std::uint16_t language,
                          std::span<char> buffer) {
    std::fill(buffer.begin(), buffer.end(), '\0');
    if (module == nullptr || id > 0xFFFF) {
        return;
    }
    auto block = platform::find_resource(*module, platform::kResourceTypeString,
                                         string_block_number(id), language);
    if (!block) {
        return;
    }
    if (auto text = string_in_block(*block, string_block_index(id))) {
        utf16_to_ansi(*text, buffer);
    }
}

std::string resource_string(const platform::Library& module, unsigned id, std::uint16_t language,
                            std::size_t buffer_size) {
    if (buffer_size == 0) {
        return {};
    }
    std::vector<char> buffer(buffer_size);
    load_resource_string(&module, id, language, buffer);
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

} // namespace shared
