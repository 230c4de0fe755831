#pragma once
// The user's user-interface language.
#include <cstdint>

namespace shared {

// The 16-bit Windows language ID of the user's UI language (0x0407 German, 0x0409 English,
// 0x0807 Swiss German, ...); 0 when it cannot be determined. Callers compare the whole value:
// only exactly 0x0407 selects German texts. Any thread.
std::uint16_t ui_language();

} // namespace shared
