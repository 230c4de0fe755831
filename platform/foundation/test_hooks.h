#pragma once
// Switches that only the tests use (scaled time, injected answers, process scopes, stand-in
// files): environment variables that a build with the test-hook option (CMake option
// MORLIN_TEST_HOOKS) honours and a release build ignores. Every reader of such a variable asks
// here, so that a release build has one place where they all fall silent (docs/valdrun.md,
// "Running as root", lists the variables that a release build still reads). The reads are
// inline: a release build leaves them out, the variables' names included.
#include <cstdlib>

namespace platform {

// Whether this build honours the tests-only switches.
constexpr bool test_hooks_built_in() {
#if defined(MORLIN_TEST_HOOKS) && MORLIN_TEST_HOOKS
    return true;
#else
    return false;
#endif
}

// The value of the tests-only environment variable `name`: null when it is not set, and
// always null in a build without test hooks.
inline const char* test_hook_variable([[maybe_unused]] const char* name) {
    if constexpr (test_hooks_built_in()) {
        return std::getenv(name);
    } else {
        return nullptr;
    }
}

} // namespace platform
