// Libraries through LoadLibraryEx and GetProcAddress; the loader's own search order applies
// to a bare name (the program's folder first).
#include "platform/winapi/library_win32.h"

#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/winapi/library.h"

namespace platform {
namespace {

std::string module_file_name(HMODULE module) {
    return win32::whole_text([module](char* buffer, DWORD size) {
               return ::GetModuleFileNameA(module, buffer, size);
           })
        .value_or(std::string());
}

// Whether restrict_library_search() took the current directory and PATH out of the search.
bool search_restricted = false;

bool has_folder(std::string_view name) {
    return name.find_first_of("\\/") != std::string_view::npos;
}

} // namespace

Win32Library::Win32Library(HMODULE module, std::string path)
    : module_(module), path_(path.empty() ? module_file_name(module) : std::move(path)) {}

Win32Library::~Win32Library() {
    ::FreeLibrary(module_);
}

void* Win32Library::symbol(const char* name) const {
    void* address = reinterpret_cast<void*>(::GetProcAddress(module_, name));
    if (address == nullptr) {
        set_last_error(kErrorProcNotFound);
    }
    return address;
}

void restrict_library_search() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    search_restricted =
        set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != FALSE;
}

std::unique_ptr<Library> Library::load_resources(std::string_view name) {
    const std::string path =
        has_folder(name) ? std::string(name) : join_path(program_directory(), name);
    HMODULE module = ::LoadLibraryExW(win32::wide(win32::windows_path(path)).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        win32::take_system_error();
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<Win32Library>(module, path);
}

std::unique_ptr<Library> Library::load(std::string_view name) {
    // A library by its full path finds the libraries beside it first, also with the search
    // restricted.
    const DWORD flags = search_restricted && has_folder(name)
                            ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                            : 0;
    HMODULE module = ::LoadLibraryExA(win32::windows_path(name).c_str(), nullptr, flags);
    if (module == nullptr) {
        win32::take_system_error();
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<Win32Library>(module);
}

std::optional<std::string> module_path_of(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(address), &module)) {
        win32::take_system_error();
        return std::nullopt;
    }
    return module_file_name(module);
}

const char* system_library_folders() {
    return "the system folders and the folders of PATH";
}

void* program_symbol(const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(nullptr), name));
}

} // namespace platform
