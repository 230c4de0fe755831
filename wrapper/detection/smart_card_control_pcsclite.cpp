// pcsc-lite hands a reader's driver SCARD_CTL_CODE of the request's function.
#include "platform/devices/smart_card_control.h"
#include "wrapper/detection/smart_card.h"

#include <PCSC/reader.h>

namespace valdrun {

std::uint32_t smart_card_control_code(std::uint32_t device_code) {
    static_assert(SCARD_CTL_CODE(2049) == platform::pcsc_control_code(0x312004));
    return platform::pcsc_control_code(device_code);
}

} // namespace valdrun
