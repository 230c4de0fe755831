// Finds a loaded library's resource image: the exported data object, whose size comes from
// the library's own symbol table, so that the lookup never reads past the object.
#include "platform/foundation/last_error.h"
#include "platform/winapi/resource.h"

#include <dlfcn.h>
#include <link.h>

namespace platform {

std::optional<std::span<const std::uint8_t>> find_resource(const Library& library,
                                                           std::uint16_t type, std::uint16_t id,
                                                           std::uint16_t language) {
    const void* image = library.symbol(kResourceImageSymbol);
    if (image == nullptr) {
        set_last_error(1812); // ERROR_RESOURCE_DATA_NOT_FOUND
        return std::nullopt;
    }
    Dl_info info{};
    void* entry = nullptr;
    if (::dladdr1(image, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr ||
        info.dli_saddr != image) {
        set_last_error(1812);
        return std::nullopt;
    }
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    if ((symbol->st_info & 0xF) != STT_OBJECT) {
        set_last_error(1812);
        return std::nullopt;
    }
    std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(image),
                                        static_cast<std::size_t>(symbol->st_size));
    return find_resource_in_image(bytes, type, id, language);
}

} // namespace platform
