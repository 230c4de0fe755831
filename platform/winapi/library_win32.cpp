// Libraries through LoadLibraryEx and GetProcAddress; the loader's own search order applies
// to a bare name (the program's folder first).
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/winapi/library.h"

#include <windows.h>

namespace platform {
namespace {

std::string module_file_name(HMODULE module) {
    return win32::whole_text([module](char* buffer, DWORD size) {
               return ::GetModuleFileNameA(module, buffer, size);
           })
        .value_or(std::string());
}

class Win32Library final : public Library {
  public:
    explicit Win32Library(HMODULE module) : module_(module), path_(module_file_name(module)) {}
    ~Win32Library() override { ::FreeLibrary(module_); }

    void* symbol(const char* name) const override {
        void* address = reinterpret_cast<void*>(::GetProcAddress(module_, name));
        if (address == nullptr) {
            set_last_error(kErrorProcNotFound);
        }
        return address;
    }
    const std::string& path() const override { return path_; }

  private:
    HMODULE module_;
    std::string path_;
};

} // namespace

std::unique_ptr<Library> Library::load(std::string_view name) {
    HMODULE module = ::LoadLibraryExA(win32::windows_path(name).c_str(), nullptr, 0);
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
