#include "platform/processes/remote_session.h"

#include <windows.h>

namespace platform {

bool running_in_remote_session() {
    return ::GetSystemMetrics(SM_REMOTESESSION) != 0;
}

} // namespace platform
