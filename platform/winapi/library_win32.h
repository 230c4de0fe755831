#pragma once
// The Windows library behind platform::Library, for the Windows files of this layer that need
// its module handle (a library mapped as a data file has no name that GetModuleHandle finds).
#include "platform/winapi/library.h"

#include <string>
#include <windows.h>

namespace platform {

class Win32Library final : public Library {
  public:
    // `path` empty: the module's own file name.
    explicit Win32Library(HMODULE module, std::string path = {});
    ~Win32Library() override;

    void* symbol(const char* name) const override;
    const std::string& path() const override { return path_; }
    HMODULE module() const { return module_; }

  private:
    HMODULE module_;
    std::string path_;
};

} // namespace platform
