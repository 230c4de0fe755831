#pragma once
// Renaming a file the way Windows' MoveFile does: a file of the new name already there is never
// replaced (the rename fails instead).
#include <cstdint>
#include <string_view>

namespace platform {

// 0 when `source` now has the name `target`; else the system's error code (errno here; EEXIST
// when `target` exists). Both name files of the same folder or file system.
std::uint32_t move_file(std::string_view source, std::string_view target);

} // namespace platform
