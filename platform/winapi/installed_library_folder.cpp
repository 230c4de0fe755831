// The installed product's library folder, relative to the program's folder as the build was
// told where programs and libraries are installed (MORLIN_INSTALLED_LIBRARY_FOLDER), so that an
// installed tree works wherever it is unpacked.
#include "platform/files/files.h"
#include "platform/winapi/library.h"

namespace platform {

std::optional<std::string> installed_library_folder() {
#ifdef MORLIN_INSTALLED_LIBRARY_FOLDER
    return join_path(program_directory(), MORLIN_INSTALLED_LIBRARY_FOLDER);
#else
    return std::nullopt;
#endif
}

} // namespace platform
