#include "platform/processes/remote_session.h"

namespace platform {

bool running_in_remote_session() {
    return false;
}

} // namespace platform
