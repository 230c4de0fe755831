#pragma once
// Switches that only the tests use (scaled time, injected answers, process scopes, stand-in
// files): environment variables that a build with the test-hook option (CMake option
// MORLIN_TEST_HOOKS) honours and a release build ignores. Every reader of such a variable asks
// here, so that a release build has one place where they all fall silent (docs/valdrun.md,
// "Running as root", lists the variables that a release build still reads).

namespace platform {

// Whether this build honours the tests-only switches.
bool test_hooks_built_in();

// The value of the tests-only environment variable `name`: null when it is not set, and
// always null in a build without test hooks.
const char* test_hook_variable(const char* name);

} // namespace platform
