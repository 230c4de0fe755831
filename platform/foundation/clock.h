#pragma once
// Time for protocol waits. The product waits in real time; tests may scale every protocol
// wait (sleeps and serial time-outs) down with MORLIN_TIME_SCALE, a percentage (100 = real
// time, 1 = a hundredth). Only waits that go through this header are scaled.
#include <chrono>
#include <cstdint>

namespace platform {

// The current scale in percent (1..100), read once from MORLIN_TIME_SCALE.
unsigned time_scale_percent();
// For tests that run in-process: overrides the scale (0 restores the environment's value).
void set_time_scale_percent(unsigned percent);

// A protocol wait of `ms` milliseconds, scaled. Never less than 1 ms unless ms is 0.
std::chrono::milliseconds scaled(std::uint32_t ms);
void sleep_ms(std::uint32_t ms); // sleeps scaled(ms)

// Monotonic milliseconds, for measuring elapsed time.
std::uint64_t monotonic_ms();

} // namespace platform
