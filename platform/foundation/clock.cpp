// Protocol waits, scaled for tests by MORLIN_TIME_SCALE.
#include "platform/foundation/clock.h"

#include "platform/foundation/test_hooks.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace platform {
namespace {

unsigned scale_from_environment() {
    const char* text = test_hook_variable("MORLIN_TIME_SCALE");
    if (text == nullptr) {
        return 100;
    }
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    auto [rest, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || rest != end || value == 0) {
        return 100;
    }
    return value > 100 ? 100 : value;
}

unsigned environment_scale() {
    static const unsigned scale = scale_from_environment();
    return scale;
}

std::atomic<unsigned> g_override{0};

} // namespace

unsigned time_scale_percent() {
    unsigned forced = g_override.load(std::memory_order_relaxed);
    return forced != 0 ? forced : environment_scale();
}

void set_time_scale_percent(unsigned percent) {
    g_override.store(percent > 100 ? 100 : percent, std::memory_order_relaxed);
}

std::chrono::milliseconds scaled(std::uint32_t ms) {
    if (ms == 0) {
        return std::chrono::milliseconds{0};
    }
    std::uint64_t value = std::uint64_t{ms} * time_scale_percent() / 100;
    return std::chrono::milliseconds{value == 0 ? 1 : static_cast<std::int64_t>(value)};
}

void sleep_ms(std::uint32_t ms) {
    auto wait = scaled(ms);
    if (wait.count() > 0) {
        std::this_thread::sleep_for(wait);
    }
}

std::uint64_t monotonic_ms() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace platform
