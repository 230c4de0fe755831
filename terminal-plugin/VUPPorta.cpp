// VUPPorta: the update host's plug-in for the Halvane and Pellax terminals. This file only
// exports the VUP functions; the work is done in the files named after each job. Each body
// runs guarded: what it throws becomes the result code of that failure.
#include "boundary.h"
#include "config_option.h"
#include "fixed_text.h"
#include "plugin_log.h"
#include "plugin_state.h"
#include "shared_services.h"
#include "terminal-plugin/listing/display_info.h"
#include "terminal-plugin/listing/terminal_detail.h"
#include "terminal-plugin/listing/terminal_enumeration.h"
#include "terminal-plugin/protocol/device_monitor.h"
#include "terminal-plugin/protocol/download_protocol.h"

#include <cstring>
#include <platform/foundation/last_error.h>
#include <platform/winapi/version_info.h>
#include <strings.h>
#include <vup_plugin.h>

MORLIN_VERSION_INFO("Mobile DFU Interface DLL", "1.02", "VUPPorta", "Morlin", "1.24",
                    "Copyright (C) 2026 Morlin");

#define VUP_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vupporta;

namespace {

VUPResult create_device_info_list(DeviceInfoEntry* list, const char* config_file) {
    PluginState& state = plugin_state();
    if (!state.texts.load()) {
        log_line("%s(%i) :Failed to load MORLNRES.DLL. Error: %xh", kModule, __LINE__,
                 platform::last_error());
        return VUP_ERR_GENERAL;
    }
    state.platform_class = current_platform_class();
    state.texts.set_language(resource_language_for(current_ui_language()));
    if (config_file != nullptr) {
        const std::string value = read_config_option(config_file, "UPGRADEONLY");
        if (strcasecmp(value.c_str(), "YES") == 0) {
            state.upgrade_only = true;
            log_line("%s(%i) :FW Upgrade Only", kModule, __LINE__);
        }
    }
    if (list == nullptr) {
        return VUP_OK;
    }
    return enumerate_terminals(list, state.platform_class);
}

void get_error_message(int code, char* text) {
    // Taken first: loading a text must not change the error being explained.
    const std::uint32_t last_error = platform::last_error();
    std::memset(text, 0, VUP_TEXT_SIZE);
    const ResourceTexts& texts = plugin_state().texts;
    if (!texts.loaded()) {
        copy_text(text, VUP_TEXT_SIZE, platform::system_message(last_error));
    } else if (code >= 0 && code <= 0xFFFF) {
        copy_text(text, VUP_TEXT_SIZE, texts.text(static_cast<unsigned>(code), kErrorTextSize));
    }
}

} // namespace

VUP_EXPORT int VUPIsBinaryValid(const char* file) {
    return guarded("VUPIsBinaryValid", VUP_ERR_FILE, [file] {
        const auto image = load_firmware_image(file);
        if (!image) {
            return VUP_ERR_FILE;
        }
        return image->has_known_type() ? VUP_OK : VUP_ERR_IMAGE_TYPE;
    });
}

VUP_EXPORT int VUPCreateDeviceInfoList(DeviceInfoEntry* list, const char* config_file) {
    // What can fail by throwing here is memory: the code of a failed allocation.
    return guarded("VUPCreateDeviceInfoList", VUP_ERR_NO_MEMORY,
                   [=] { return create_device_info_list(list, config_file); });
}

VUP_EXPORT int VUPFilterDeviceInfoSet(DeviceInfoEntry* list, const char* file, int /*run_kind*/,
                                      int iv_flag) {
    return guarded("VUPFilterDeviceInfoSet", VUP_ERR_FILE, [=] {
        PluginState& state = plugin_state();
        return filter_devices(state.link, list, file, iv_flag != 0, state.upgrade_only,
                              state.texts);
    });
}

VUP_EXPORT int VUPUploadFirmware(DeviceInfoEntry* /*list*/, int /*device_index*/,
                                 const char* /*target_file*/, VUPProgressCallback /*progress*/,
                                 int* /*abort_flag*/) {
    return VUP_OK;
}

VUP_EXPORT int VUPDownloadFirmware(DeviceInfoEntry* list, int device_index,
                                   const char* /*backup_path*/, const char* file,
                                   VUPProgressCallback progress, int* abort_flag) {
    // The download ends its own run guarded; what is left to throw here is the monitor's
    // thread or memory, both "not ready" (200).
    return guarded("VUPDownloadFirmware", VUP_ERR_GENERAL, [=] {
        // Everything that changes during the download belongs to this call.
        SerialLink link;
        DeviceMonitor monitor;
        const DownloadRequest request{terminal_at(list, device_index), file, progress, abort_flag};
        return Download(link, monitor, plugin_state().texts, request).run();
    });
}

VUP_EXPORT int VUPDestroyDeviceInfoList(DeviceInfoEntry* list) {
    return guarded("VUPDestroyDeviceInfoList", VUP_OK, [list] {
        if (list != nullptr) {
            free_terminal_details(list);
        }
        plugin_state().texts.release();
        return VUP_OK;
    });
}

VUP_EXPORT int VUPGetErrorMessage(int code, char* text) {
    if (text == nullptr) {
        return VUP_OK;
    }
    return guarded("VUPGetErrorMessage", VUP_OK, [=] {
        get_error_message(code, text);
        return VUP_OK;
    });
}

VUP_EXPORT int VUPGetDisplayInfo(DeviceInfoEntry* list, int device_index, const char* file,
                                 DisplayRow* rows) {
    return guarded("VUPGetDisplayInfo", VUP_ERR_FILE, [=] {
        PluginState& state = plugin_state();
        return display_info(state.link, terminal_at(list, device_index), file, state.texts, rows);
    });
}

VUP_EXPORT int VUPInitializeLogger(VUPLogger logger) {
    set_logger(logger);
    return VUP_OK;
}

VUP_EXPORT int VUPIsOSSupported(void) {
    return plugin_state().platform_class == kPlatformOther ? VUP_ERR_OS_NOT_SUPPORTED : VUP_OK;
}

VUP_EXPORT int VUPGetCapabilities(void) {
    return VUP_CAP_PARALLEL_DOWNLOADS;
}

VUP_EXPORT int VUPIsUploadSupported(void) {
    return VUP_ERR_UPLOAD_NOT_SUPPORTED;
}
