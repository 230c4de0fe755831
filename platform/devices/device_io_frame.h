#pragma once
// The frames that carry a device I/O control request to a simulated device and its answer
// back, over one TCP connection. All numbers are 32 bits, little-endian.
//   request: control code, input length, output capacity, input bytes
//   reply:   status (0 success, else a Windows error code), output length, output bytes
// Lengths are at most kMaxDeviceIoBytes; the reply's output length at most the request's
// capacity. A receiver that meets a longer length closes the connection.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

inline constexpr std::size_t kMaxDeviceIoBytes = 4096;
inline constexpr std::size_t kDeviceIoHeaderBytes = 12; // request head
inline constexpr std::size_t kDeviceIoReplyHeaderBytes = 8;

struct DeviceIoRequest {
    std::uint32_t code = 0;
    std::uint32_t output_capacity = 0;
    std::vector<std::uint8_t> input;
};

struct DeviceIoReply {
    std::uint32_t status = 0;
    std::vector<std::uint8_t> output;
};

std::vector<std::uint8_t> encode_request(const DeviceIoRequest& request);
std::vector<std::uint8_t> encode_reply(const DeviceIoReply& reply);

// Decoders for a growing receive buffer: a whole frame at the buffer's start is taken out of
// it and returned. Nothing while the frame is incomplete; `bad` is set (and nothing returned)
// when the head announces more than the limits allow.
std::optional<DeviceIoRequest> take_request(std::vector<std::uint8_t>& buffer, bool& bad);
std::optional<DeviceIoReply> take_reply(std::vector<std::uint8_t>& buffer, std::size_t capacity,
                                        bool& bad);

} // namespace platform
