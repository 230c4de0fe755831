#include "platform/devices/device_io_frame.h"

namespace platform {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

std::vector<std::uint8_t> take(std::vector<std::uint8_t>& buffer, std::size_t head,
                               std::size_t length) {
    std::vector<std::uint8_t> body(buffer.begin() + static_cast<std::ptrdiff_t>(head),
                                   buffer.begin() + static_cast<std::ptrdiff_t>(head + length));
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(head + length));
    return body;
}

} // namespace

std::vector<std::uint8_t> encode_request(const DeviceIoRequest& request) {
    std::vector<std::uint8_t> out;
    put32(out, request.code);
    put32(out, static_cast<std::uint32_t>(request.input.size()));
    put32(out, request.output_capacity);
    out.insert(out.end(), request.input.begin(), request.input.end());
    return out;
}

std::vector<std::uint8_t> encode_reply(const DeviceIoReply& reply) {
    std::vector<std::uint8_t> out;
    put32(out, reply.status);
    put32(out, static_cast<std::uint32_t>(reply.output.size()));
    out.insert(out.end(), reply.output.begin(), reply.output.end());
    return out;
}

std::optional<DeviceIoRequest> take_request(std::vector<std::uint8_t>& buffer, bool& bad) {
    bad = false;
    if (buffer.size() < kDeviceIoHeaderBytes)
        return std::nullopt;
    const std::uint32_t length = get32(buffer, 4);
    const std::uint32_t capacity = get32(buffer, 8);
    if (length > kMaxDeviceIoBytes || capacity > kMaxDeviceIoBytes) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < kDeviceIoHeaderBytes + length)
        return std::nullopt;
    DeviceIoRequest request;
    request.code = get32(buffer, 0);
    request.output_capacity = capacity;
    request.input = take(buffer, kDeviceIoHeaderBytes, length);
    return request;
}

std::optional<DeviceIoReply> take_reply(std::vector<std::uint8_t>& buffer, std::size_t capacity,
                                        bool& bad) {
    bad = false;
    if (buffer.size() < kDeviceIoReplyHeaderBytes)
        return std::nullopt;
    const std::uint32_t length = get32(buffer, 4);
    if (length > capacity || length > kMaxDeviceIoBytes) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < kDeviceIoReplyHeaderBytes + length)
        return std::nullopt;
    DeviceIoReply reply;
    reply.status = get32(buffer, 0);
    reply.output = take(buffer, kDeviceIoReplyHeaderBytes, length);
    return reply;
}

} // namespace platform
