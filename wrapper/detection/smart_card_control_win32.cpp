// WinSCard passes a reader's control requests with their Windows I/O control codes as they are.
#include "wrapper/detection/smart_card.h"

namespace valdrun {

std::uint32_t smart_card_control_code(std::uint32_t device_code) {
    return device_code;
}

} // namespace valdrun
