#include "texts-and-log/ui_language.h"

#include "platform/winapi/locale.h"

namespace shared {

std::uint16_t ui_language() {
    return platform::user_ui_language();
}

} // namespace shared
