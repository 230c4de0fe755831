#pragma once
// Shared libraries loaded by file name, as Windows loads a DLL.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The ending of a library's file name: "MORLNRES.DLL" on Windows is "MORLNRES.so" elsewhere
// (a string literal, so that names are written "MORLNRES" MORLIN_LIBRARY_SUFFIX).
#ifdef _WIN32
#define MORLIN_LIBRARY_SUFFIX ".DLL"
#else
#define MORLIN_LIBRARY_SUFFIX ".so"
#endif

namespace platform {

// The folder where an installed product keeps its plug-ins and libraries, found from the
// running program's folder (/usr/bin/../lib/<multiarch>/morlin); nothing where the build does
// not install that way (Windows, where they sit beside the program).
std::optional<std::string> installed_library_folder();

class Library {
  public:
    // Loads a library. A name without a directory is searched the way Windows searches a DLL
    // named without a path: the running program's folder, then the product's installed
    // library folder (installed_library_folder()), then the system's library folders, then
    // the current directory (matching ignoring case in each). A name with a directory is
    // loaded from there. Returns null and sets the last error (kErrorModNotFound,
    // kErrorBadFormat) on failure.
    [[nodiscard]] static std::unique_ptr<Library> load(std::string_view name);
    // Loads a library whose resources alone are read (the resource library). On Windows it is
    // mapped as a data file (LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE: no code
    // of it runs), a name without a directory from the running program's folder only; its
    // symbols are not there. Elsewhere as load().
    [[nodiscard]] static std::unique_ptr<Library> load_resources(std::string_view name);
    virtual ~Library() = default;

    // Address of an exported function or object by its undecorated name, or null
    // (last error kErrorProcNotFound).
    [[nodiscard]] virtual void* symbol(const char* name) const = 0;
    // Full path of the file that was loaded.
    virtual const std::string& path() const = 0;
};

// Address of a function or object that the running program exports by `name` (GetProcAddress
// on the program's own module), or null. Lets a plug-in reach what the program publishes.
void* program_symbol(const char* name);

// Takes the current directory and PATH out of the library search of the process for the
// libraries it loads and for theirs (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)
// on Windows, where Windows 7 has it with update KB2533623); a library loaded by its full path
// still finds the libraries beside it. Nothing elsewhere. Programs call it once at their start.
void restrict_library_search();

// How the system's library search is named in messages: "the system's library folders
// (LD_LIBRARY_PATH included)"; on Windows "the system folders and the folders of PATH".
const char* system_library_folders();

// Full path of the library or program file that contains `address` (GetModuleFileName of the
// module that holds it). Lets a library find files beside itself.
std::optional<std::string> module_path_of(const void* address);

} // namespace platform
