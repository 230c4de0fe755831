#include "resource_texts.h"

#include "platform/winapi/library.h"
#include "shared_services.h"

#include <platform/files/files.h>

namespace vupporta {
namespace {

constexpr const char* kResourceLibrary = "MORLNRES" MORLIN_LIBRARY_SUFFIX;

} // namespace

bool ResourceTexts::load() {
    library_ = platform::Library::load_resources(kResourceLibrary);
    if (library_) {
        return true;
    }
    // A host in another folder: the resource library is installed beside the plug-in.
    static const int anchor = 0;
    if (const auto own_path = platform::module_path_of(&anchor)) {
        const std::string folder = platform::folder_of(*own_path);
        if (!folder.empty()) {
            library_ =
                platform::Library::load_resources(platform::join_path(folder, kResourceLibrary));
        }
    }
    return library_ != nullptr;
}

std::string ResourceTexts::text(unsigned id, std::size_t buffer_size) const {
    if (!library_) {
        return {};
    }
    return load_resource_string(*library_, id, language_, buffer_size);
}

} // namespace vupporta
