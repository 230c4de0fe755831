#include "platform/foundation/ansi_code_page.h"

namespace platform {

bool ansi_code_page_is_utf8() {
    return true;
}

std::string utf16_to_legacy_ansi(std::u16string_view, std::size_t) {
    return {};
}

void use_ansi_code_page_on_console() {}

} // namespace platform
