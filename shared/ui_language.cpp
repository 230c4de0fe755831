#include "shared/ui_language.h"

#include "platform/locale.h"

namespace shared {

std::uint16_t ui_language() {
    return platform::user_ui_language();
}

} // namespace shared
