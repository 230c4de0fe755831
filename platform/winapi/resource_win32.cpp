// Resources of a loaded library through FindResourceEx and LoadResource: the Windows loader
// reads the resource section that windres built.
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/winapi/library_win32.h"
#include "platform/winapi/resource.h"

#include <windows.h>

namespace platform {

std::optional<std::span<const std::uint8_t>> find_resource(const Library& library,
                                                           std::uint16_t type, std::uint16_t id,
                                                           std::uint16_t language) {
    const auto* loaded_here = dynamic_cast<const Win32Library*>(&library);
    HMODULE module =
        loaded_here != nullptr ? loaded_here->module() : ::GetModuleHandleA(library.path().c_str());
    HRSRC found = module == nullptr ? nullptr
                                    : ::FindResourceExA(module, MAKEINTRESOURCEA(type),
                                                        MAKEINTRESOURCEA(id), language);
    if (found == nullptr) {
        win32::take_system_error();
        return std::nullopt;
    }
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded == nullptr ? nullptr : ::LockResource(loaded);
    if (bytes == nullptr) {
        win32::take_system_error();
        return std::nullopt;
    }
    return std::span(static_cast<const std::uint8_t*>(bytes), ::SizeofResource(module, found));
}

} // namespace platform
