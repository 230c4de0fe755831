// The single instance: a named file mapping that the first instance creates; a second start
// finds it and brings the first instance's window (looked up by its title, the section's name)
// to the front, when it has one (Morlin on the console has none). The system removes the mapping
// when the holder ends, also after a crash.
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

bool came_to_front = false;

} // namespace

bool SingleInstance::running_instance_came_to_front() {
    return came_to_front;
}

std::unique_ptr<SingleInstance>
SingleInstance::acquire(std::string_view name, const std::vector<std::string>& window_titles) {
    const std::string section(name);
    HANDLE mapping =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, section.c_str());
    if (mapping == nullptr) {
        win32::take_system_error();
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        HWND window = nullptr;
        for (const std::string& title : window_titles) {
            window = window != nullptr
                         ? window
                         : ::FindWindowW(nullptr, win32::wide_from_ansi(title).c_str());
        }
        if (window_titles.empty()) {
            window = ::FindWindowA(nullptr, section.c_str());
        }
        came_to_front = window != nullptr;
        if (came_to_front) {
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
