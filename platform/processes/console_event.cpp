#include "platform/processes/console_event.h"

namespace platform {

ConsoleEventHandling console_event_handling(ConsoleEvent event) {
    constexpr int kInterrupt = 2;
    constexpr int kTerminate = 15;
    if (event == ConsoleEvent::CtrlC || event == ConsoleEvent::CtrlBreak) {
        return {kInterrupt, false};
    }
    return {kTerminate, true};
}

} // namespace platform
