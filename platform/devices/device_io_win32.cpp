// Control requests on Windows: CreateFile on the device's interface path, then
// DeviceIoControl, overlapped so that a device that does not answer in time is cancelled.
// Simulated devices reached by "ioctl://" addresses exist only on Linux.
#include "platform/devices/device_io.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <chrono>
#include <windows.h>

namespace platform {
namespace {

class Win32DeviceIo final : public DeviceIo {
  public:
    explicit Win32DeviceIo(HANDLE device) : device_(device) {}
    ~Win32DeviceIo() override { ::CloseHandle(device_); }

    std::optional<std::vector<std::uint8_t>> control(std::uint32_t code,
                                                     std::span<const std::uint8_t> input,
                                                     std::size_t output_capacity,
                                                     std::uint32_t timeout_ms) override {
        std::vector<std::uint8_t> output(output_capacity);
        std::vector<std::uint8_t> request(input.begin(), input.end());
        OVERLAPPED overlapped{};
        overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (overlapped.hEvent == nullptr) {
            win32::take_system_error();
            return std::nullopt;
        }
        DWORD returned = 0;
        bool done =
            ::DeviceIoControl(device_, code, request.empty() ? nullptr : request.data(),
                              static_cast<DWORD>(request.size()),
                              output.empty() ? nullptr : output.data(),
                              static_cast<DWORD>(output.size()), &returned, &overlapped) != 0;
        if (!done && ::GetLastError() == ERROR_IO_PENDING) {
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(scaled(timeout_ms));
            if (::WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(wait.count())) !=
                WAIT_OBJECT_0) {
                ::CancelIo(device_);
                ::GetOverlappedResult(device_, &overlapped, &returned, TRUE);
                ::CloseHandle(overlapped.hEvent);
                set_last_error(kErrorTimeout);
                return std::nullopt;
            }
            done = ::GetOverlappedResult(device_, &overlapped, &returned, FALSE) != 0;
        }
        if (!done)
            win32::take_system_error();
        ::CloseHandle(overlapped.hEvent);
        if (!done)
            return std::nullopt;
        output.resize(std::min<std::size_t>(returned, output_capacity));
        return output;
    }

  private:
    HANDLE device_;
};

} // namespace

std::unique_ptr<DeviceIo> DeviceIo::open(std::string_view device_path) {
    const HANDLE device = ::CreateFileW(
        win32::wide(device_path).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        win32::take_system_error();
        return nullptr;
    }
    return std::make_unique<Win32DeviceIo>(device);
}

std::unique_ptr<DeviceIo> DeviceIo::connect(std::string_view) {
    set_last_error(kErrorNotSupported);
    return nullptr;
}

} // namespace platform
