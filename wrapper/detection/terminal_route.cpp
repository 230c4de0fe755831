// The terminal route: the terminal's virtual COM ports are counted through the device lists;
// its versions come from one status request through the CT-API library, loaded by name for
// this pass only.
#include "ctapi.h"
#include "platform/devices/device_set.h"
#include "platform/winapi/library.h"
#include "wrapper/detection/detection.h"
#include "wrapper/detection/terminal_versions.h"
#include "wrapper/result_codes.h"

#include <algorithm>
#include <array>

namespace valdrun {
namespace {

constexpr std::string_view kTerminalEnumerator = "USB\\Vid_04e6&Pid_1a02";
constexpr std::size_t kStatusResponseRoom = 100;

bool has_terminal_mark(const platform::DeviceRecord& device) {
    return std::any_of(device.hardware_ids.begin(), device.hardware_ids.end(),
                       [](const std::string& id) {
                           return id.find("HYPERCOM") != std::string::npos ||
                                  id.find("Ostrum") != std::string::npos;
                       });
}

// Counts the terminal's ports; the last port name read becomes the name in slot 0.
int count_terminal_ports(int os_type, std::string& port_name) {
    const auto devices =
        os_type == 2 ? platform::present_devices(platform::kModemClass)
                     : platform::present_devices(platform::kPortsClass, kTerminalEnumerator);
    if (!devices)
        return 0;
    int count = 0;
    for (const platform::DeviceRecord& device : *devices) {
        if (os_type == 2 && !has_terminal_mark(device))
            continue;
        if (const auto name = device.key_value("PortName")) {
            ++count;
            port_name = *name;
        }
    }
    return count;
}

struct CtApi {
    CT_init_fn init = nullptr;
    CT_data_fn data = nullptr;
    CT_close_fn close = nullptr;
};

// The status response, or nothing when the exchange failed.
std::optional<std::vector<std::uint8_t>> read_status(const CtApi& api) {
    api.init(0, 0); // port 0: the library finds the terminal's port itself
    std::array<IU8, 5> command = {0x20, 0x13, 0x00, 0x46, 0x00};
    std::array<IU8, kStatusResponseRoom> response{};
    IU8 dad = 1;
    IU8 sad = 2;
    IU16 length = static_cast<IU16>(response.size());
    const IS8 result = api.data(0, &dad, &sad, static_cast<IU16>(command.size()), command.data(),
                                &length, response.data());
    api.close(0);
    if (result != OK)
        return std::nullopt;
    return std::vector<std::uint8_t>(response.begin(),
                                     response.begin() + std::min<std::size_t>(length, 100));
}

} // namespace

int terminal_route(const ReaderDescription& description, const PassSettings& settings,
                   PassOutcome& outcome) {
    std::string port_name;
    outcome.reader_count = count_terminal_ports(settings.os_type, port_name);
    if (outcome.reader_count == 0)
        return kDetectedNothing;
    outcome.terminal_port_name = port_name;
    const auto library = platform::Library::load(settings.brantel_library);
    if (!library)
        return kDetectedNothing;
    const CtApi api{reinterpret_cast<CT_init_fn>(library->symbol("CT_init")),
                    reinterpret_cast<CT_data_fn>(library->symbol("CT_data")),
                    reinterpret_cast<CT_close_fn>(library->symbol("CT_close"))};
    if (!api.init || !api.data || !api.close)
        return kDetectedNothing;
    const auto response = read_status(api);
    const auto versions = response ? terminal_versions_from(*response) : std::nullopt;
    if (!versions)
        return kDetectedNothing;
    outcome.terminal = *versions;
    const int application =
        compare_versions(Version{versions->app_major, versions->app_minor, kNoBuild},
                         Version{description.target_application.major,
                                 description.target_application.minor, kNoBuild},
                         false);
    const int firmware =
        compare_versions(Version{versions->fw_major, versions->fw_minor, versions->fw_build},
                         description.target_firmware, false);
    return terminal_result(application, firmware);
}

} // namespace valdrun
