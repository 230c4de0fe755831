#include "host/plugins/plugin_binding.h"

#include "host/fixed_text.h"
#include "host/host_log.h"
#include "host/host_texts.h"
#include "host/morlin_app.h"
#include "platform/files/files.h"
#include "platform/foundation/text_case.h"
#include "platform/winapi/library.h"
#include "platform/winapi/version_info.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace morlin {

namespace {

constexpr const char* kPluginPattern = "VUP*" MORLIN_LIBRARY_SUFFIX;

// Binds `target` to the library's function `name`; whether the library has it.
template <typename Function>
bool bind(const platform::Library& library, const char* name, Function& target) {
    void* address = library.symbol(name);
    target = address != nullptr ? std::bit_cast<Function>(address) : nullptr;
    return target != nullptr;
}

} // namespace

bool bind_plugin_functions(const platform::Library& library, PluginFunctions& functions) {
    PluginFunctions bound;
    // Every plug-in has these; the ones below are optional.
    const bool required[] = {
        bind(library, "VUPIsBinaryValid", bound.is_binary_valid),
        bind(library, "VUPCreateDeviceInfoList", bound.create_device_info_list),
        bind(library, "VUPFilterDeviceInfoSet", bound.filter_device_info_set),
        bind(library, "VUPUploadFirmware", bound.upload_firmware),
        bind(library, "VUPDownloadFirmware", bound.download_firmware),
        bind(library, "VUPDestroyDeviceInfoList", bound.destroy_device_info_list),
        bind(library, "VUPGetErrorMessage", bound.get_error_message),
        bind(library, "VUPGetDisplayInfo", bound.get_display_info),
    };
    if (std::find(std::begin(required), std::end(required), false) != std::end(required)) {
        return false;
    }
    bind(library, "VUPInitializeLogger", bound.initialize_logger);
    bind(library, "VUPStartStop", bound.start_stop);
    bind(library, "VUPMatchDevBySymLink", bound.match_dev_by_symlink);
    bind(library, "VUPMatchDFUDevByProdType", bound.match_dfu_dev_by_prod_type);
    bind(library, "VUPIsOSSupported", bound.is_os_supported);
    bind(library, "VUPIsUploadSupported", bound.is_upload_supported);
    bind(library, "VUPGetDLLInfo", bound.get_dll_info);
    bind(library, "VUPGetCapabilities", bound.get_capabilities);
    functions = bound;
    return true;
}

std::string plugin_version_line(std::string_view library_path, const HostTexts& texts) {
    const auto info = platform::read_version_info(library_path);
    if (!info) {
        return {};
    }
    return info->file_description + " " + texts.text(kStrVersionJoin) + " " + info->file_version;
}

std::vector<std::string> plugin_folders() {
    std::vector<std::string> folders{platform::current_directory()};
    auto installed = platform::installed_library_folder();
    if (installed && platform::directory_exists(*installed)) {
        folders.push_back(std::move(*installed));
    }
    return folders;
}

DiscoveryResult discover_plugins(std::string_view directory, int platform_class,
                                 const HostTexts& texts,
                                 std::array<PluginRecord, kMaxPlugins>& table) {
    const std::string folder =
        directory.empty() ? platform::current_directory() : std::string(directory);
    return discover_plugins(std::vector<std::string>{folder}, platform_class, texts, table);
}

DiscoveryResult discover_plugins(const std::vector<std::string>& folders, int platform_class,
                                 const HostTexts& texts,
                                 std::array<PluginRecord, kMaxPlugins>& table) {
    DiscoveryResult result;
    std::vector<std::string> names;
    std::vector<std::string> paths;
    for (const std::string& folder : folders) {
        for (const std::string& file : platform::find_files(folder, kPluginPattern)) {
            const auto same = [&](const std::string& name) {
                return platform::equal_ignoring_case(name, file);
            };
            if (std::none_of(names.begin(), names.end(), same)) {
                names.push_back(file);
                paths.push_back(platform::join_path(folder, file));
            }
        }
    }
    if (paths.empty()) {
        result.code = kStrNoPluginFile;
        return result;
    }
    result.code = kStrNoUsablePlugin;
    for (const std::string& path : paths) {
        if (result.plugin_count == kMaxPlugins) {
            break;
        }
        PluginRecord& record = table[static_cast<std::size_t>(result.plugin_count)];
        // The file found, by its full path: never a library of the same name that the
        // library search order would find first.
        auto library = platform::Library::load(path);
        if (!library) {
            continue;
        }
        PluginFunctions functions;
        if (!bind_plugin_functions(*library, functions)) {
            continue;
        }
        if (platform_class == 0 && (functions.is_os_supported == nullptr ||
                                    functions.is_os_supported() == VUP_ERR_OS_NOT_SUPPORTED)) {
            continue;
        }
        record.fn = functions;
        set_record_field(record.version_line, plugin_version_line(library->path(), texts));
        record.module = std::move(library);
        record.start_failed = false;
        record.clear_devices();
        result.code = 0;
        ++result.plugin_count;
    }
    for (int index = 0; index < result.plugin_count; ++index) {
        PluginRecord& record = table[static_cast<std::size_t>(index)];
        if (record.fn.initialize_logger != nullptr) {
            record.fn.initialize_logger(host_log);
        }
    }
    return result;
}

HostError choose_plugin_for_file(MorlinApp& app, const char* file_name, std::vector<int>* answers) {
    HostError outcome;
    for (int index = 0; index < app.plugin_count; ++index) {
        PluginRecord& plugin = app.plugins[static_cast<std::size_t>(index)];
        const int result = plugin.fn.is_binary_valid(file_name);
        if (answers != nullptr) {
            answers->push_back(result);
        }
        if (result == 0) {
            app.current_plugin = &plugin;
            app.current_plugin_index = index;
            return HostError::none();
        }
        outcome = HostError::plugin(result, index);
    }
    return outcome;
}

} // namespace morlin
