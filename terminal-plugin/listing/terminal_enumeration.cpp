#include "terminal_enumeration.h"

#include "terminal-plugin/fixed_text.h"
#include "terminal-plugin/plugin_log.h"
#include "terminal-plugin/protocol/firmware_image.h"
#include "terminal_detail.h"

#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <platform/devices/device_set.h>
#include <platform/foundation/last_error.h>
#include <string>

namespace vupporta {
namespace {

struct EnumeratorRow {
    std::string_view enumerator;
    std::string_view product;
};

constexpr std::array<EnumeratorRow, 2> kEnumerators = {{
    {"USB\\Vid_04e6&Pid_1a02", kHalvane},
    {"USB\\Vid_1513&Pid_0444", kPellax},
}};

// Registry reads into buffers of a fixed size: a value that does not fit with its terminating
// zero is not read.
constexpr std::size_t kHardwareIdBufferSize = 100;
constexpr std::size_t kPortNameBufferSize = 256;
constexpr std::size_t kSymbolicNameBufferSize = 261;

std::optional<std::string> fitting(std::optional<std::string> value, std::size_t buffer_size) {
    if (value && value->size() + 1 > buffer_size) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> symbolic_name_of(const platform::DeviceRecord& device,
                                            int platform_class) {
    if (platform_class != kPlatformWindows9x) {
        return fitting(device.key_value("SymbolicName"), kSymbolicNameBufferSize);
    }
    const auto parent = fitting(device.key_value("ParentDevNode"), kSymbolicNameBufferSize);
    if (!parent) {
        return std::nullopt;
    }
    return fitting(platform::machine_key_value("Enum\\" + *parent, "SymbolicName"),
                   kSymbolicNameBufferSize);
}

// On the Windows 9x family: the product of a modem-class device by its first hardware ID, or
// nothing when the device is not one of the maker's terminals.
std::optional<std::string_view> product_by_hardware_id(const platform::DeviceRecord& device) {
    if (device.hardware_ids.empty() ||
        device.hardware_id_multi_string().size() > kHardwareIdBufferSize) {
        return std::nullopt;
    }
    const std::string& first = device.hardware_ids.front();
    const bool hypercom = first.find("HYPERCOM") != std::string::npos;
    if (!hypercom && first.find("Ostrum") == std::string::npos) {
        return std::nullopt;
    }
    return hypercom ? kPellax : kHalvane;
}

// Lists the devices of one set; false when a detail record could not be allocated.
bool list_devices(const std::vector<platform::DeviceRecord>& devices, std::string_view row_product,
                  int platform_class, DeviceInfoEntry* list, int& count) {
    for (const platform::DeviceRecord& device : devices) {
        std::string_view product = row_product;
        if (platform_class == kPlatformWindows9x) {
            const auto marked = product_by_hardware_id(device);
            if (!marked) {
                continue;
            }
            product = *marked;
        }
        if (device.device_key.empty()) {
            log_line("SetupDiOpenDevRegKey returned invalid handle");
            continue;
        }
        const auto port_name = fitting(device.key_value("PortName"), kPortNameBufferSize);
        if (!port_name) {
            log_line("RegQueryValueEx was not successful");
            continue;
        }
        log_line("Successful portname: %s", port_name->c_str());
        if (count >= VUP_DEVICE_LIST_SIZE) {
            continue;
        }
        auto* detail = new (std::nothrow) TerminalDetail{};
        if (detail == nullptr) {
            log_line("%s(%i) :Memory allocation failed. Error: %xh", kModule, __LINE__,
                     static_cast<unsigned>(platform::kErrorNotEnoughMemory));
            return false;
        }
        if (const auto symbolic_name = symbolic_name_of(device, platform_class)) {
            copy_text(detail->symbolic_name, *symbolic_name);
            log_line("Successful symlink: %s", symbolic_name->c_str());
        }
        copy_text(detail->port_name, *port_name);
        copy_text(detail->product_name, product);

        DeviceInfoEntry& entry = list[count++];
        char name[VUP_TEXT_SIZE * 2 + 4];
        std::snprintf(name, sizeof name, "%s - %s", detail->port_name, detail->product_name);
        copy_text(entry.name, name);
        entry.detail = detail;
    }
    return true;
}

} // namespace

int count_entries(const DeviceInfoEntry* list) {
    int count = 0;
    while (count < VUP_DEVICE_LIST_SIZE && list[count].name[0] != '\0') {
        ++count;
    }
    return count;
}

VUPResult enumerate_terminals(DeviceInfoEntry* list, int platform_class) {
    int count = count_entries(list);
    if (count >= VUP_DEVICE_LIST_SIZE) {
        log_line("%s(%i) :List is full.", kModule, __LINE__);
    }
    const bool windows9x = platform_class == kPlatformWindows9x;
    const std::size_t passes = windows9x ? 1 : kEnumerators.size();
    for (std::size_t pass = 0; pass < passes; ++pass) {
        std::optional<std::vector<platform::DeviceRecord>> devices;
        if (windows9x) {
            devices = platform::present_devices(platform::kModemClass);
        } else {
            const std::string enumerator(kEnumerators[pass].enumerator);
            log_line("%s(%i): Using Enumerator: %s", kModule, __LINE__, enumerator.c_str());
            devices = platform::present_devices(platform::kPortsClass, enumerator);
        }
        if (!devices) {
            log_line("%s(%i): SetupDiGetClassDevs failed: %d", kModule, __LINE__,
                     static_cast<int>(platform::last_error()));
            continue;
        }
        if (!list_devices(*devices, kEnumerators[pass].product, platform_class, list, count)) {
            return VUP_ERR_NO_MEMORY;
        }
    }
    return VUP_OK;
}

void free_terminal_details(DeviceInfoEntry* list) {
    for (int index = 0; index < VUP_DEVICE_LIST_SIZE && list[index].name[0] != '\0'; ++index) {
        delete static_cast<TerminalDetail*>(list[index].detail);
        list[index].detail = nullptr;
    }
}

} // namespace vupporta
