// The device-interface route: the first device of the reader driver's interface class,
// opened by its path, with the same two control requests as the driver's own I/O control.
#include "platform/devices/device_io.h"
#include "platform/devices/device_set.h"
#include "wrapper/detection/detection.h"
#include "wrapper/result_codes.h"

namespace valdrun {
namespace {

constexpr std::string_view kReaderInterfaceClass = "{077E2F20-E171-4DC6-8A24-ECEA3035C257}";
constexpr std::size_t kMaxDevicePath = 255;

} // namespace

int device_interface_route(const ReaderDescription& description, PassOutcome& outcome) {
    const auto devices = platform::present_devices(kReaderInterfaceClass);
    if (!devices || devices->empty())
        return kDetectedNothing;
    const std::string& path = devices->front().interface_path;
    if (path.empty() || path.size() > kMaxDevicePath)
        return kDetectedNothing;
    const auto device = platform::DeviceIo::open(path);
    if (!device)
        return kDetectedNothing;
    const auto descriptor =
        device->control(kDescriptorRequestCode, kDescriptorRequest, kDescriptorSize);
    if (!descriptor)
        return kDetectedNothing;
    const UsbIdentifiers ids = identifiers_from_descriptor(*descriptor);
    if (ids.vid != description.vid || ids.pid != description.pid)
        return kDetectedOtherReader;
    return version_request_result(device->control(kDeviceVersionRequestCode, {}, kVersionReplySize),
                                  description, outcome);
}

} // namespace valdrun
