// Control requests to simulated devices: one TCP connection per open device, one request
// frame and one reply frame per request (device_io_frame.h).
#include "platform/devices/announcement.h"
#include "platform/devices/device_io.h"
#include "platform/devices/device_io_frame.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/io/tcp_socket.h"

#include <charconv>

namespace platform {
namespace {

constexpr std::string_view kScheme = "ioctl://127.0.0.1:";

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return !CaseInsensitiveLess{}(a, b) && !CaseInsensitiveLess{}(b, a);
}

class TcpDeviceIo final : public DeviceIo {
  public:
    TcpDeviceIo(std::unique_ptr<TcpConnection> connection, std::unique_ptr<TcpWaiter> waiter)
        : connection_(std::move(connection)), waiter_(std::move(waiter)) {}

    std::optional<std::vector<std::uint8_t>> control(std::uint32_t code,
                                                     std::span<const std::uint8_t> input,
                                                     std::size_t output_capacity,
                                                     std::uint32_t timeout_ms) override {
        if (!connection_ || input.size() > kMaxDeviceIoBytes ||
            output_capacity > kMaxDeviceIoBytes) {
            set_last_error(kErrorInvalidParameter);
            return std::nullopt;
        }
        const auto deadline = std::chrono::steady_clock::now() + scaled(timeout_ms);
        const auto frame = encode_request(
            {code, static_cast<std::uint32_t>(output_capacity), {input.begin(), input.end()}});
        if (!send(frame, deadline))
            return std::nullopt;
        std::uint8_t chunk[1024];
        while (true) {
            bool bad = false;
            if (auto reply = take_reply(received_, output_capacity, bad)) {
                if (reply->status != 0) {
                    set_last_error(reply->status);
                    return std::nullopt;
                }
                return std::move(reply->output);
            }
            if (bad)
                return fail(kErrorGenFailure);
            const auto n = connection_->read(chunk);
            if (!n)
                return fail(kErrorDeviceNotConnected);
            if (*n > 0) {
                received_.insert(received_.end(), chunk, chunk + *n);
                continue;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return fail(kErrorTimeout);
            waiter_->wait(nullptr, connection_.get(), false, deadline);
        }
    }

  private:
    bool send(std::span<const std::uint8_t> frame, std::chrono::steady_clock::time_point deadline) {
        while (!frame.empty()) {
            const auto n = connection_->write(frame);
            if (!n) {
                fail(kErrorDeviceNotConnected);
                return false;
            }
            frame = frame.subspan(*n);
            if (frame.empty())
                break;
            if (std::chrono::steady_clock::now() >= deadline) {
                fail(kErrorTimeout);
                return false;
            }
            waiter_->wait(nullptr, connection_.get(), true, deadline);
        }
        return true;
    }

    // A connection that failed or answered out of turn is of no further use.
    std::nullopt_t fail(std::uint32_t error) {
        connection_.reset();
        received_.clear();
        set_last_error(error);
        return std::nullopt;
    }

    std::unique_ptr<TcpConnection> connection_;
    std::unique_ptr<TcpWaiter> waiter_;
    std::vector<std::uint8_t> received_;
};

} // namespace

std::unique_ptr<DeviceIo> DeviceIo::connect(std::string_view address) {
    if (!address.starts_with(kScheme)) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    const std::string_view digits = address.substr(kScheme.size());
    std::uint16_t port = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (parsed.ec != std::errc{} || parsed.ptr != digits.data() + digits.size() || port == 0) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    std::string error;
    auto waiter = TcpWaiter::create(error);
    auto connection = waiter ? TcpConnection::connect_local(port, error) : nullptr;
    if (!connection) {
        set_last_error(kErrorFileNotFound);
        return nullptr;
    }
    return std::make_unique<TcpDeviceIo>(std::move(connection), std::move(waiter));
}

std::unique_ptr<DeviceIo> DeviceIo::open(std::string_view device_path) {
    for (const Announcement& announcement : read_announcements()) {
        const DeviceRecord& device = announcement.device;
        if (!device.interface_path.empty() &&
            equal_ignoring_case(device.interface_path, device_path))
            return connect(device.port_address);
    }
    set_last_error(kErrorFileNotFound);
    return nullptr;
}

} // namespace platform
