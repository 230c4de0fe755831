#include "platform/foundation/test_hooks.h"
#include "platform/services/user_rights.h"

#include <cstdlib>
#include <strings.h>
#include <unistd.h>

namespace platform {

bool user_is_administrator() {
    const char* injected = test_hook_variable("MORLIN_ADMINISTRATOR");
    if (injected != nullptr && *injected != '\0')
        return ::strcasecmp(injected, "yes") == 0;
    return ::geteuid() == 0;
}

} // namespace platform
