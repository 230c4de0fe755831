#pragma once
// The device lists that the dialogs offer: which device texts they show, and which plug-in and
// device a chosen row stands for.
#include "host/plugins/plugin_record.h"

#include <array>
#include <string>
#include <vector>

namespace morlin {

struct DeviceRef {
    int plugin_index = -1;
    int device_index = 0;
    bool found() const { return plugin_index >= 0; }
};

// Device texts of every plug-in (table order) and device (index order), leaving out each
// device whose text another device of the same plug-in also has. With `upload_only`, only
// plug-ins without VUPIsUploadSupported, or whose answer is not 734, take part.
std::vector<std::string> distinct_device_texts(const std::array<PluginRecord, kMaxPlugins>& plugins,
                                               int plugin_count, bool upload_only);

// The list's own text search: the first row from `start` + 1 on (wrapping round) whose text
// begins with `text`, ignoring ASCII case; -1 when none does.
int find_row_by_prefix(const std::vector<std::string>& rows, const std::string& text,
                       int start = 0);

// The plug-in and device that `row` of `rows` stands for: for each plug-in (table order) with
// devices, the first of its devices whose text the search finds at `row`; a later plug-in
// that also has one replaces an earlier one.
DeviceRef device_for_row(const std::array<PluginRecord, kMaxPlugins>& plugins, int plugin_count,
                         const std::vector<std::string>& rows, int row);

// A fixed text field as a string: up to its first zero byte, at most the field's size.
std::string field_text(const char* field, std::size_t size);

} // namespace morlin
