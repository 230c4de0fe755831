// The single instance: a named file mapping that the first instance creates; a second start
// finds it and brings the first instance's window (looked up by its title, the section's name)
// to the front. The system removes the mapping when the holder ends, also after a crash.
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/processes/single_instance.h"

#include <windows.h>

namespace platform {
namespace {

class FileMappingInstance final : public SingleInstance {
  public:
    explicit FileMappingInstance(HANDLE mapping) : mapping_(mapping) {}
    ~FileMappingInstance() override { ::CloseHandle(mapping_); }
    // The first instance is brought to the front by the system (SetForegroundWindow from the
    // second start); nothing runs in this process.
    void on_activation_request(std::function<void()> handler) override {
        handler_ = std::move(handler);
    }

  private:
    HANDLE mapping_;
    std::function<void()> handler_;
};

} // namespace

std::unique_ptr<SingleInstance> SingleInstance::acquire(std::string_view name) {
    const std::string section(name);
    HANDLE mapping =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, section.c_str());
    if (mapping == nullptr) {
        win32::take_system_error();
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        if (HWND window = ::FindWindowA(nullptr, section.c_str()); window != nullptr) {
            ::ShowWindow(window, SW_RESTORE);
            ::SetForegroundWindow(window);
        }
        set_last_error(kErrorAlreadyExists);
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<FileMappingInstance>(mapping);
}

} // namespace platform
