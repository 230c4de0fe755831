#pragma once
// Device I/O control on a device opened by its interface path (CreateFile on the path, then
// DeviceIoControl), for device-interface classes whose driver answers control requests.
//
// On Linux such a device is a simulated one: its announcement (docs/simulation.md) carries
// the interface path and a `Port=ioctl://127.0.0.1:<tcp port>` address, and each control
// request travels over that TCP connection as one request frame answered by one reply frame
// (device_io_frame.h).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

class DeviceIo {
  public:
    // Opens the present device whose interface path equals `device_path` (ignoring case).
    // Null with the last error set (kErrorFileNotFound, kErrorGenFailure) on failure.
    static std::unique_ptr<DeviceIo> open(std::string_view device_path);
    // Opens a device by its control address "ioctl://127.0.0.1:<port>".
    static std::unique_ptr<DeviceIo> connect(std::string_view address);
    virtual ~DeviceIo() = default;

    // Sends one control request and returns the device's output (at most `output_capacity`
    // bytes), or nothing with the last error set: the device's own error code, or
    // kErrorTimeout when it gave no whole answer within `timeout_ms` (scaled by the clock).
    virtual std::optional<std::vector<std::uint8_t>> control(std::uint32_t code,
                                                             std::span<const std::uint8_t> input,
                                                             std::size_t output_capacity,
                                                             std::uint32_t timeout_ms = 2000) = 0;
};

} // namespace platform
