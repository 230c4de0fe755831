// The one place where a build decides whether tests-only variables are read.
#include "platform/foundation/test_hooks.h"

#include <cstdlib>

namespace platform {

bool test_hooks_built_in() {
#if defined(MORLIN_TEST_HOOKS) && MORLIN_TEST_HOOKS
    return true;
#else
    return false;
#endif
}

const char* test_hook_variable(const char* name) {
    return test_hooks_built_in() ? std::getenv(name) : nullptr;
}

} // namespace platform
