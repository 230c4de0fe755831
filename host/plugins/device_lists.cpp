#include "host/plugins/device_lists.h"

#include "host/morlin_app.h"

namespace morlin {

namespace {
std::uint8_t count_devices(const DeviceInfoList& list) {
    std::uint8_t count = 0;
    for (const DeviceInfoEntry& entry : list) {
        if (entry.name[0] == '\0') {
            break;
        }
        ++count;
    }
    return count;
}
} // namespace

HostError create_device_lists(MorlinApp& app) {
    const char* name = app.config_name_for_plugins();
    bool any_succeeded = false;
    HostError failure;
    for (int index = 0; index < app.plugin_count; ++index) {
        PluginRecord& plugin = app.plugins[static_cast<std::size_t>(index)];
        const int result = plugin.fn.create_device_info_list(plugin.devices.data(), name);
        if (result != 0) {
            failure = HostError::plugin(result, index);
            app.current_plugin = &plugin;
            app.current_plugin_index = index;
        } else {
            any_succeeded = true;
        }
    }
    if (!any_succeeded) {
        return app.plugin_count > 0 ? failure : HostError::host(kStrNoDevices);
    }
    app.total_device_count = 0;
    for (int index = 0; index < app.plugin_count; ++index) {
        PluginRecord& plugin = app.plugins[static_cast<std::size_t>(index)];
        plugin.device_count = count_devices(plugin.devices);
        app.total_device_count =
            static_cast<std::uint8_t>(app.total_device_count + plugin.device_count);
        if (plugin.device_count != 0 &&
            (plugin.fn.is_upload_supported == nullptr || plugin.fn.is_upload_supported() == 0)) {
            app.upload_available = true;
        }
    }
    if (app.total_device_count == 0) {
        return HostError::host(kStrNoDevices);
    }
    return HostError::none();
}

int end_run(MorlinApp& app) {
    int last = 0;
    for (int index = 0; index < app.plugin_count; ++index) {
        PluginRecord& plugin = app.plugins[static_cast<std::size_t>(index)];
        if (!plugin.bound()) {
            continue;
        }
        last = plugin.fn.destroy_device_info_list(plugin.devices.data());
        if (last != 0) {
            app.show_host_error(HostError::plugin(last, index));
        }
        plugin.clear_devices();
    }
    return last;
}

} // namespace morlin
