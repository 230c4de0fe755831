// Shared libraries loaded by file name (dlopen), searched as Windows searches a DLL.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/winapi/library.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace platform {
namespace {

class PosixLibrary final : public Library {
  public:
    PosixLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    ~PosixLibrary() override { ::dlclose(handle_); }
    PosixLibrary(const PosixLibrary&) = delete;
    PosixLibrary& operator=(const PosixLibrary&) = delete;

    void* symbol(const char* name) const override {
        if (name == nullptr) {
            set_last_error(kErrorInvalidParameter);
            return nullptr;
        }
        ::dlerror();
        void* address = ::dlsym(handle_, name);
        if (address == nullptr) {
            set_last_error(kErrorProcNotFound);
        }
        return address;
    }

    const std::string& path() const override { return path_; }

  private:
    void* handle_;
    std::string path_;
};

// The folder of the C library, which is the system's multiarch library folder.
std::string system_library_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&std::strlen), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Folders searched for a library named without a folder, in order: the program's folder, the
// system's library folders, the current directory, then LD_LIBRARY_PATH (the PATH of Windows).
std::vector<std::string> search_folders() {
    std::vector<std::string> folders;
    folders.push_back(program_directory());
    if (auto installed = installed_library_folder()) {
        folders.push_back(std::move(*installed));
    }
    for (std::string folder : {system_library_folder(), std::string("/usr/local/lib"),
                               std::string("/usr/lib"), std::string("/lib")}) {
        if (!folder.empty()) {
            folders.push_back(std::move(folder));
        }
    }
    folders.push_back(current_directory());
    if (const char* extra = std::getenv("LD_LIBRARY_PATH")) {
        std::string_view rest(extra);
        while (!rest.empty()) {
            auto colon = rest.find(':');
            std::string_view folder = rest.substr(0, colon);
            if (!folder.empty()) {
                folders.emplace_back(folder);
            }
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    return folders;
}

std::optional<std::string> locate(std::string_view name) {
    std::string native = native_path(name);
    if (native.find('/') != std::string::npos) {
        std::string resolved = resolve_ignoring_case(native);
        return file_exists(resolved) ? std::optional(resolved) : std::nullopt;
    }
    for (const auto& folder : search_folders()) {
        if (auto found = find_file_ignoring_case(folder, native)) {
            return found;
        }
    }
    return std::nullopt;
}

// Why an existing file did not load: not a loadable image of this machine, or a library it
// needs is missing (Windows reports the latter as a missing module too).
std::uint32_t load_failure(const std::string& path) {
    OpenOptions exact;
    exact.exact_name = true;
    const auto file = File::open(path, exact); // never waits on a pipe put in its place
    if (!file) {
        return last_error();
    }
    unsigned char header[EI_NIDENT] = {};
    const auto got = file->read(std::span(header));
    const bool elf = got == sizeof header && std::memcmp(header, ELFMAG, SELFMAG) == 0;
    if (!elf || header[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) {
        return kErrorBadFormat;
    }
    const char* reason = ::dlerror();
    if (reason != nullptr && std::strstr(reason, "undefined symbol") != nullptr) {
        return kErrorProcNotFound;
    }
    if (reason != nullptr && std::strstr(reason, "cannot open shared object file") == nullptr) {
        return kErrorBadFormat;
    }
    return kErrorModNotFound;
}

} // namespace

std::unique_ptr<Library> Library::load(std::string_view name) {
    auto path = locate(name);
    if (!path) {
        set_last_error(kErrorModNotFound);
        return nullptr;
    }
    char absolute[PATH_MAX];
    std::string full = ::realpath(path->c_str(), absolute) != nullptr ? absolute : *path;
    ::dlerror();
    void* handle = ::dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        set_last_error(load_failure(full));
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<PosixLibrary>(handle, std::move(full));
}

std::unique_ptr<Library> Library::load_resources(std::string_view name) {
    return load(name);
}

void restrict_library_search() {}

std::optional<std::string> module_path_of(const void* address) {
    Dl_info info{};
    void* extra = nullptr;
    if (address == nullptr || ::dladdr1(address, &info, &extra, RTLD_DL_LINKMAP) == 0 ||
        extra == nullptr) {
        set_last_error(kErrorModNotFound);
        return std::nullopt;
    }
    const auto* map = static_cast<const link_map*>(extra);
    if (map->l_name == nullptr || map->l_name[0] == '\0') {
        // The program itself: its link map has no name (and argv[0] may be relative).
        std::string program = program_path();
        if (program.empty()) {
            return std::nullopt;
        }
        return program;
    }
    char absolute[PATH_MAX];
    if (::realpath(map->l_name, absolute) != nullptr) {
        return std::string(absolute);
    }
    return std::string(map->l_name);
}

const char* system_library_folders() {
    return "the system's library folders (LD_LIBRARY_PATH included)";
}

void* program_symbol(const char* name) {
    // The global scope: the program and the libraries it was linked with, never a library
    // loaded by name (those are loaded RTLD_LOCAL).
    return ::dlsym(RTLD_DEFAULT, name);
}

} // namespace platform
