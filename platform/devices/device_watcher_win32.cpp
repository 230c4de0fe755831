// Device notifications on Windows. The watcher's own thread owns a hidden window registered
// for the device interface classes that Windows notifies (notified_interface_classes). Every
// WM_DEVICECHANGE makes it list the machine's ports again through SetupAPI, and a timer of the
// same window compares the simulated devices' announcements; the listener hears what changed,
// with the device records. The window is a top-level one where the system allows it, so that
// it also hears the port and device-node broadcasts; else (no desktop, as under Wine without
// a display) a message-only window, which hears the registered classes only.
//
// The window class is registered under the module that holds the window procedure (the DLL
// that links this layer, such as BRANTEL.DLL), under a name of its own, and unregistered when
// the window is gone: a library that is unloaded and loaded again at another address registers
// its own class anew. Stopping waits for the thread at most kStopWaitMs: a library unloaded
// with a watcher running stops it from DllMain, where a thread cannot end while the loader
// lock is held; the thread keeps what it uses alive until it has ended.
#include "platform/devices/announcement.h"
#include "platform/devices/device_changes.h"
#include "platform/devices/device_set.h"
#include "platform/devices/device_watcher.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>
#include <windows.h>
// windows.h first: dbt.h uses its types.
#include <dbt.h>

namespace platform {
namespace {

constexpr UINT_PTR kAnnouncementTimer = 1;
constexpr UINT kAnnouncementPeriodMs = 200;
constexpr DWORD kStopWaitMs = 1000;

bool parse_guid(std::string_view text, GUID& guid) {
    const std::string braced(text);
    unsigned long data1 = 0;
    unsigned int data2 = 0;
    unsigned int data3 = 0;
    unsigned int bytes[8] = {};
    if (std::sscanf(braced.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &data1, &data2,
                    &data3, &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5],
                    &bytes[6], &bytes[7]) != 11) {
        return false;
    }
    guid.Data1 = data1;
    guid.Data2 = static_cast<unsigned short>(data2);
    guid.Data3 = static_cast<unsigned short>(data3);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<unsigned char>(bytes[i]);
    }
    return true;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

HMODULE module_of_this_code() {
    HMODULE module = nullptr;
    static const char anchor = 0;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         &anchor, &module);
    return module;
}

// What the watcher's thread uses. The owner and the thread share it: when a stop cannot wait
// for the thread (DllMain), the thread still holds it until it ends.
class WatchState {
  public:
    WatchState(std::string interface_class, DeviceWatcher::Callback callback)
        : interface_class_(std::move(interface_class)), callback_(std::move(callback)),
          finished_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~WatchState() {
        if (finished_ != nullptr) {
            ::CloseHandle(finished_);
        }
    }
    WatchState(const WatchState&) = delete;
    WatchState& operator=(const WatchState&) = delete;

    bool valid() const { return finished_ != nullptr; }
    HANDLE finished() const { return finished_; }

    // The devices present now, without notices (before watching begins).
    void take_present() {
        ports_ = present_ports();
        announced_ = present_announcements();
    }
    void report_present() const {
        for (const DevicesByKey* known : {&ports_, &announced_}) {
            for (const auto& [key, device] : *known) {
                callback_(DeviceEvent{DeviceEvent::Kind::Arrival, device.interface_path,
                                      interface_class_, device});
            }
        }
    }

    // The watcher's thread: its window, the notices, then the clean-up. `started` is set with
    // the outcome once the window listens (or could not be made).
    void run(std::atomic<int>& outcome, HANDLE started);

  private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);

    DevicesByKey present_ports() const {
        DevicesByKey present;
        for (auto& port : usb_serial_ports()) {
            if (watcher_concerns(interface_class_, port)) {
                std::string key = port.instance_id;
                present.emplace(std::move(key), std::move(port));
            }
        }
        return present;
    }
    DevicesByKey present_announcements() const {
        DevicesByKey present;
        for (auto& announcement : read_announcements()) {
            if (watcher_concerns(interface_class_, announcement.device)) {
                std::string key = announcement.device.source;
                present.emplace(std::move(key), std::move(announcement.device));
            }
        }
        return present;
    }
    void report_changes(DevicesByKey& known, DevicesByKey present) {
        for (const auto& event : device_changes(known, present, interface_class_)) {
            callback_(event);
        }
        known = std::move(present);
    }

    HWND create_window(const char* class_name, HMODULE module) const;
    std::vector<HDEVNOTIFY> register_notifications(HWND window) const;

    const std::string interface_class_;
    const DeviceWatcher::Callback callback_;
    const HANDLE finished_;
    DevicesByKey ports_;     // by device instance
    DevicesByKey announced_; // by announcement file
};

LRESULT CALLBACK WatchState::window_procedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    auto* self = reinterpret_cast<WatchState*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_DEVICECHANGE) {
        // Every change is looked at: what the machine's ports are now is the answer, whatever
        // the notice was about.
        self->report_changes(self->ports_, self->present_ports());
        return TRUE;
    }
    if (self != nullptr && message == WM_TIMER && wparam == kAnnouncementTimer) {
        self->report_changes(self->announced_, self->present_announcements());
        return 0;
    }
    return ::DefWindowProcA(window, message, wparam, lparam);
}

HWND WatchState::create_window(const char* class_name, HMODULE module) const {
    HWND window =
        ::CreateWindowExA(0, class_name, " ", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, nullptr, nullptr, module, nullptr);
    if (window == nullptr) {
        window = ::CreateWindowExA(0, class_name, " ", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                                   nullptr);
    }
    return window;
}

std::vector<HDEVNOTIFY> WatchState::register_notifications(HWND window) const {
    std::vector<HDEVNOTIFY> registrations;
    for (const auto notified : notified_interface_classes(interface_class_)) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        if (!parse_guid(notified, filter.dbcc_classguid)) {
            continue;
        }
        if (HDEVNOTIFY registration =
                ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE)) {
            registrations.push_back(registration);
        }
    }
    return registrations;
}

void WatchState::run(std::atomic<int>& outcome, HANDLE started) {
    // The message queue exists before the owner may post WM_QUIT to it.
    MSG message;
    ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const HMODULE module = module_of_this_code();
    char class_name[64];
    std::snprintf(class_name, sizeof class_name, "MorlinDeviceWatcher%lu.%p",
                  ::GetCurrentThreadId(), static_cast<const void*>(this));
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = module;
    window_class.lpszClassName = class_name;
    HWND window = nullptr;
    if (::RegisterClassA(&window_class) != 0) {
        window = create_window(class_name, module);
    }
    if (window == nullptr) {
        outcome.store(static_cast<int>(win32::take_system_error()));
        ::UnregisterClassA(class_name, module);
        ::SetEvent(started);
        ::SetEvent(finished_);
        return;
    }
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const auto registrations = register_notifications(window);
    ::SetTimer(window, kAnnouncementTimer, kAnnouncementPeriodMs, nullptr);
    // What changed between the owner's listing and the registration is not lost.
    report_changes(ports_, present_ports());
    outcome.store(0);
    ::SetEvent(started);
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageA(&message);
    }
    ::KillTimer(window, kAnnouncementTimer);
    for (HDEVNOTIFY registration : registrations) {
        ::UnregisterDeviceNotification(registration);
    }
    ::DestroyWindow(window);
    ::UnregisterClassA(class_name, module);
    ::SetEvent(finished_);
}

// What the watcher's thread is handed; it deletes it.
struct ThreadStart {
    std::shared_ptr<WatchState> state;
    std::atomic<int>* outcome;
    HANDLE started;
};

DWORD WINAPI watcher_thread(void* parameter) {
    std::shared_ptr<WatchState> state;
    std::atomic<int>* outcome = nullptr;
    HANDLE started = nullptr;
    {
        const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
        state = start->state;
        outcome = start->outcome;
        started = start->started;
    }
    state->run(*outcome, started);
    return 0;
}

class WindowWatcher final : public DeviceWatcher {
  public:
    explicit WindowWatcher(std::shared_ptr<WatchState> state) : state_(std::move(state)) {}

    ~WindowWatcher() override {
        if (thread_ == nullptr) {
            return;
        }
        ::PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
        // The thread finishes its work, then ends; under the loader lock it cannot end, and
        // the wait stops at its bound.
        const DWORD begun = ::GetTickCount();
        HANDLE either[2] = {state_->finished(), thread_};
        if (::WaitForMultipleObjects(2, either, FALSE, kStopWaitMs) == WAIT_OBJECT_0) {
            const DWORD spent = ::GetTickCount() - begun;
            ::WaitForSingleObject(thread_, spent < kStopWaitMs ? kStopWaitMs - spent : 0);
        }
        ::CloseHandle(thread_);
    }

    bool start() {
        HANDLE started = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (started == nullptr) {
            win32::take_system_error();
            return false;
        }
        std::atomic<int> outcome{0};
        auto* handed = new ThreadStart{state_, &outcome, started};
        thread_ = ::CreateThread(nullptr, 0, watcher_thread, handed, 0, &thread_id_);
        if (thread_ == nullptr) {
            delete handed;
            win32::take_system_error();
            ::CloseHandle(started);
            return false;
        }
        ::WaitForSingleObject(started, INFINITE);
        ::CloseHandle(started);
        if (outcome.load() != 0) {
            ::WaitForSingleObject(thread_, INFINITE);
            ::CloseHandle(thread_);
            thread_ = nullptr;
            set_last_error(static_cast<std::uint32_t>(outcome.load()));
            return false;
        }
        set_last_error(kErrorSuccess);
        return true;
    }

  private:
    std::shared_ptr<WatchState> state_;
    HANDLE thread_ = nullptr;
    DWORD thread_id_ = 0;
};

} // namespace

std::unique_ptr<DeviceWatcher> DeviceWatcher::start(std::string_view interface_class,
                                                    Callback callback, PresentDevices present) {
    if (!callback || interface_class.empty()) {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    auto state = std::make_shared<WatchState>(upper(interface_class), std::move(callback));
    if (!state->valid()) {
        win32::take_system_error();
        return nullptr;
    }
    state->take_present();
    if (present == PresentDevices::Report) {
        state->report_present();
    }
    auto watcher = std::make_unique<WindowWatcher>(std::move(state));
    if (!watcher->start()) {
        return nullptr;
    }
    return watcher;
}

} // namespace platform
