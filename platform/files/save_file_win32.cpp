// Saving a whole file in one step on Windows: a temporary file of a unique name in the same
// folder, written through, then MoveFileEx over the old file. Saves of this process are
// serialised; the file system's rename keeps other readers from ever seeing half a file.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <mutex>
#include <windows.h>

namespace platform {

bool save_file_replacing(std::string_view path, std::span<const std::uint8_t> data, SaveWay* way) {
    if (way != nullptr) {
        *way = SaveWay::Replaced;
    }
    static std::mutex saving;
    const std::lock_guard lock(saving);
    const std::string target = win32::windows_path(resolve_ignoring_case(path));
    const std::size_t slash = target.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    char temporary[MAX_PATH];
    if (::GetTempFileNameA(folder.c_str(), "mrl", 0, temporary) == 0) {
        win32::take_system_error();
        return false;
    }
    bool written = false;
    if (auto file = File::open(temporary, {.access = Access::Write,
                                           .share = Share::None,
                                           .disposition = Disposition::CreateAlways,
                                           .write_through = true})) {
        written = file->write(data) && file->flush();
    }
    if (!written || !replace_file(temporary, target)) {
        const std::uint32_t error = last_error();
        ::DeleteFileA(temporary);
        set_last_error(error);
        return false;
    }
    return true;
}

} // namespace platform
