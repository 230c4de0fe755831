// Firmware files set aside while the update tool runs, so that it loads only the parts due.
#include "platform/files/files.h"
#include "platform/files/move_file.h"
#include "wrapper/update_tool.h"

namespace valdrun {
namespace {

constexpr char kAsideMark = '_';

} // namespace

std::vector<std::uint32_t> set_aside_firmware_files(const std::string& folder,
                                                    const std::string& pattern) {
    std::vector<std::uint32_t> errors;
    for (const std::string& name : platform::find_files(folder, "*.sig")) {
        if (name.find(pattern) == std::string::npos || name.front() == kAsideMark) {
            continue;
        }
        const std::uint32_t error = platform::move_file(
            platform::join_path(folder, name), platform::join_path(folder, kAsideMark + name));
        if (error != 0) {
            errors.push_back(error);
        }
    }
    return errors;
}

void bring_back_firmware_files(const std::string& folder) {
    for (const std::string& name : platform::find_files(folder, "_*.?i?")) {
        // A file of the old name that is there again stays; the set-aside one keeps its mark.
        (void)platform::move_file(platform::join_path(folder, name),
                                  platform::join_path(folder, name.substr(1)));
    }
}

} // namespace valdrun
