#include "host/dialogs/device_choice.h"

#include <cctype>
#include <cstring>

namespace morlin {

namespace {

bool starts_with_ignoring_case(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string device_text(const PluginRecord& plugin, int index) {
    return field_text(plugin.devices[static_cast<std::size_t>(index)].name, VUP_TEXT_SIZE);
}

bool offers_upload(const PluginRecord& plugin) {
    return plugin.fn.is_upload_supported == nullptr ||
           plugin.fn.is_upload_supported() != VUP_ERR_UPLOAD_NOT_SUPPORTED;
}

} // namespace

std::string field_text(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

std::vector<std::string> distinct_device_texts(const std::array<PluginRecord, kMaxPlugins>& plugins,
                                               int plugin_count, bool upload_only) {
    std::vector<std::string> texts;
    for (int p = 0; p < plugin_count && p < kMaxPlugins; ++p) {
        const PluginRecord& plugin = plugins[static_cast<std::size_t>(p)];
        const int count =
            plugin.device_count > VUP_DEVICE_LIST_SIZE ? VUP_DEVICE_LIST_SIZE : plugin.device_count;
        if (count == 0 || (upload_only && !offers_upload(plugin))) {
            continue;
        }
        for (int d = 0; d < count; ++d) {
            const std::string text = device_text(plugin, d);
            bool repeated = false;
            for (int other = 0; other < count && !repeated; ++other) {
                repeated = other != d && device_text(plugin, other) == text;
            }
            if (!repeated) {
                texts.push_back(text);
            }
        }
    }
    return texts;
}

int find_row_by_prefix(const std::vector<std::string>& rows, const std::string& text, int start) {
    const int count = static_cast<int>(rows.size());
    for (int step = 1; step <= count; ++step) {
        const int row = ((start < 0 ? 0 : start) + step) % count;
        if (starts_with_ignoring_case(rows[static_cast<std::size_t>(row)], text)) {
            return row;
        }
    }
    return -1;
}

DeviceRef device_for_row(const std::array<PluginRecord, kMaxPlugins>& plugins, int plugin_count,
                         const std::vector<std::string>& rows, int row) {
    DeviceRef found;
    for (int p = 0; p < plugin_count && p < kMaxPlugins; ++p) {
        const PluginRecord& plugin = plugins[static_cast<std::size_t>(p)];
        const int count =
            plugin.device_count > VUP_DEVICE_LIST_SIZE ? VUP_DEVICE_LIST_SIZE : plugin.device_count;
        for (int d = 0; d < count; ++d) {
            if (find_row_by_prefix(rows, device_text(plugin, d)) == row) {
                found = {p, d};
                break;
            }
        }
    }
    return found;
}

} // namespace morlin
