#pragma once
// The Windows communication time-out rules (see serial_port.h), written once for every serial
// port backend. A backend supplies "wait up to this long for bytes, then move what is there".
#include "platform/io/wait_limit.h"
#include "platform/serial/serial_port.h"

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// What one transfer step did: bytes moved (0 when the wait passed), or a Windows error code.
struct TransferStep {
    std::size_t bytes = 0;
    std::uint32_t error = 0;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Waits up to `limit` until at least one byte is there, then copies what is there (up to
    // the buffer's size). A zero limit only takes what is already there.
    virtual TransferStep fetch(std::span<std::uint8_t> buffer, WaitLimit limit) = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Waits up to `limit` until some bytes can be passed on, then passes on what it can.
    virtual TransferStep put(std::span<const std::uint8_t> data, WaitLimit limit) = 0;
};

// A read under the read time-outs. Sets the last error on failure.
std::optional<std::size_t> read_under_timeouts(const Timeouts& timeouts,
                                               std::span<std::uint8_t> buffer, ByteSource& source);
// A write under the write time-outs; kErrorTimeout when not all bytes went out in time.
std::optional<std::size_t> write_under_timeouts(const Timeouts& timeouts,
                                                std::span<const std::uint8_t> data, ByteSink& sink);

} // namespace platform
