#include "platform/serial/serial_timeouts.h"

#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"

#include <algorithm>

namespace platform {
namespace {

std::uint32_t scaled_ms(std::uint64_t ms) {
    const auto clamped = static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, kMaxDword - 1));
    return static_cast<std::uint32_t>(scaled(clamped).count());
}

// Milliseconds left until `deadline`, or nothing without deadline.
WaitLimit left_until(std::optional<std::uint64_t> deadline) {
    if (!deadline) {
        return std::nullopt;
    }
    const std::uint64_t now = monotonic_ms();
    return now >= *deadline ? 0u : static_cast<std::uint32_t>(*deadline - now);
}

WaitLimit tighter(WaitLimit a, WaitLimit b) {
    if (!a) {
        return b;
    }
    if (!b) {
        return a;
    }
    return std::min(*a, *b);
}

std::optional<std::size_t> failed(std::uint32_t error) {
    set_last_error(error);
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> read_under_timeouts(const Timeouts& t, std::span<std::uint8_t> buffer,
                                               ByteSource& source) {
    if (buffer.empty()) {
        set_last_error(kErrorSuccess);
        return 0;
    }
    // Return at once with what is there.
    if (t.read_interval == kMaxDword && t.read_total_multiplier == 0 &&
        t.read_total_constant == 0) {
        const TransferStep step = source.fetch(buffer, 0u);
        return step.error ? failed(step.error) : (set_last_error(kErrorSuccess), step.bytes);
    }
    // Return as soon as one byte is there, or after the constant with none.
    if (t.read_interval == kMaxDword && t.read_total_multiplier == kMaxDword &&
        t.read_total_constant > 0 && t.read_total_constant < kMaxDword) {
        const TransferStep step = source.fetch(buffer, scaled_ms(t.read_total_constant));
        return step.error ? failed(step.error) : (set_last_error(kErrorSuccess), step.bytes);
    }
    // All bytes, bounded by the total and the interval time-outs.
    std::optional<std::uint64_t> deadline;
    if (t.read_total_multiplier != 0 || t.read_total_constant != 0) {
        const std::uint64_t total =
            std::uint64_t{t.read_total_multiplier} * buffer.size() + t.read_total_constant;
        deadline = monotonic_ms() + scaled_ms(total);
    }
    const WaitLimit interval = (t.read_interval == 0 || t.read_interval == kMaxDword)
                                   ? WaitLimit{}
                                   : WaitLimit{scaled_ms(t.read_interval)};
    std::size_t got = 0;
    while (got < buffer.size()) {
        const WaitLimit left = left_until(deadline);
        const WaitLimit limit = got > 0 ? tighter(left, interval) : left;
        const TransferStep step = source.fetch(buffer.subspan(got), limit);
        if (step.error) {
            return failed(step.error);
        }
        if (step.bytes == 0) {
            break; // the total or the interval time-out passed
        }
        got += step.bytes;
    }
    set_last_error(kErrorSuccess);
    return got;
}

std::optional<std::size_t>
write_under_timeouts(const Timeouts& t, std::span<const std::uint8_t> data, ByteSink& sink) {
    std::optional<std::uint64_t> deadline;
    if (t.write_total_multiplier != 0 || t.write_total_constant != 0) {
        const std::uint64_t total =
            std::uint64_t{t.write_total_multiplier} * data.size() + t.write_total_constant;
        deadline = monotonic_ms() + scaled_ms(total);
    }
    std::size_t sent = 0;
    while (sent < data.size()) {
        const TransferStep step = sink.put(data.subspan(sent), left_until(deadline));
        if (step.error) {
            return failed(step.error);
        }
        if (step.bytes == 0) {
            return failed(kErrorTimeout);
        }
        sent += step.bytes;
    }
    set_last_error(kErrorSuccess);
    return sent;
}

} // namespace platform
