#pragma once
// One firmware file of a run: which plug-in serves it and which device receives it.
#include "vup_plugin.h"

#include <array>
#include <cstdint>

namespace morlin {

inline constexpr int kMaxDownloadEntries = 30;
inline constexpr std::int32_t kNoPlugin = 255;
inline constexpr std::int32_t kNoDevice = 255;

struct DownloadEntry {
    char file_name[VUP_TEXT_SIZE] = {};   // as read from Morlin.cfg or chosen by the user
    std::int32_t plugin_index = 0;        // 255 = none
    std::int32_t device_index = 0;        // 255 = no device: the entry is skipped
    char backup_path[VUP_TEXT_SIZE] = {}; // empty when BACKUP is clear
};

using DownloadTable = std::array<DownloadEntry, kMaxDownloadEntries>;

} // namespace morlin
