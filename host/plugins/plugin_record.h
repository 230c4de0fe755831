#pragma once
// The host's record of one bound firmware-update plug-in.
#include "platform/winapi/library.h"
#include "vup_plugin.h"

#include <array>
#include <cstdint>
#include <memory>

namespace morlin {

inline constexpr int kMaxPlugins = 4;

// The fifteen entry points in binding order; the first eight are required, an absent optional
// one is null.
struct PluginFunctions {
    PFN_VUPIsBinaryValid is_binary_valid = nullptr;
    PFN_VUPCreateDeviceInfoList create_device_info_list = nullptr;
    PFN_VUPFilterDeviceInfoSet filter_device_info_set = nullptr;
    PFN_VUPUploadFirmware upload_firmware = nullptr;
    PFN_VUPDownloadFirmware download_firmware = nullptr;
    PFN_VUPDestroyDeviceInfoList destroy_device_info_list = nullptr;
    PFN_VUPGetErrorMessage get_error_message = nullptr;
    PFN_VUPGetDisplayInfo get_display_info = nullptr;
    PFN_VUPInitializeLogger initialize_logger = nullptr;
    PFN_VUPStartStop start_stop = nullptr;
    PFN_VUPMatchDevBySymLink match_dev_by_symlink = nullptr;
    PFN_VUPMatchDFUDevByProdType match_dfu_dev_by_prod_type = nullptr;
    PFN_VUPIsOSSupported is_os_supported = nullptr;
    PFN_VUPIsUploadSupported is_upload_supported = nullptr;
    PFN_VUPGetDLLInfo get_dll_info = nullptr;
    // Optional, beyond the fifteen: what the plug-in allows (VUP_CAP_* flags).
    PFN_VUPGetCapabilities get_capabilities = nullptr;
};

using DeviceInfoList = std::array<DeviceInfoEntry, VUP_DEVICE_LIST_SIZE>;

struct PluginRecord {
    PluginFunctions fn;
    std::unique_ptr<platform::Library> module; // null: the record is free
    // Owned by the host, filled by VUPCreateDeviceInfoList, zero-filled after
    // VUPDestroyDeviceInfoList.
    DeviceInfoList devices{};
    char version_line[VUP_TEXT_SIZE] = {};
    std::uint8_t device_count = 0; // non-empty entries from the start of `devices`
    bool start_failed = false;

    bool bound() const { return module != nullptr; }
    // "Mobile" or "Pellax" in the version line marks the mobile-terminal plug-in.
    bool is_mobile_terminal_plugin() const;
    // Zero-fills the device information list and the device count.
    void clear_devices();
};

} // namespace morlin
