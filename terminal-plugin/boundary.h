#pragma once
// The edge between the host and the plug-in: no exception may reach the host, whose C code
// cannot take one. What a call's body throws (an allocation that fails, a thread that cannot
// be started) becomes the result code that the call gives for that failure, and a log line.
#include "plugin_log.h"

#include <exception>

namespace vupporta {

// Runs `body` and returns its result; anything it throws gives `failure` instead.
template <typename Result, typename Body>
Result guarded(const char* call, Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& error) {
        log_line("%s(%i): %s failed: %s", kModule, __LINE__, call, error.what());
    } catch (...) {
        log_line("%s(%i): %s failed", kModule, __LINE__, call);
    }
    return failure;
}

} // namespace vupporta
