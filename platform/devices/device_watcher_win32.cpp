// Device notifications on Windows: a hidden window on the watcher's own thread registers for
// the interface class (RegisterDeviceNotification) and hears WM_DEVICECHANGE; simulated
// devices are noticed by comparing the announcements on a timer of the same window.
#include "platform/devices/announcement.h"
#include "platform/devices/device_set.h"
#include "platform/devices/device_watcher.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <future>
#include <map>
#include <thread>
#include <windows.h>
// windows.h first: dbt.h uses its types.
#include <dbt.h>

namespace platform {
namespace {

constexpr UINT_PTR kAnnouncementTimer = 1;
constexpr UINT kAnnouncementPeriodMs = 200;
constexpr const char* kWindowClass = "MorlinDeviceWatcher";

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool parse_guid(const std::string& text, GUID& guid) {
    unsigned long data1 = 0;
    unsigned int data2 = 0;
    unsigned int data3 = 0;
    unsigned int bytes[8] = {};
    if (std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &data1, &data2,
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

class WindowWatcher final : public DeviceWatcher {
  public:
    WindowWatcher(std::string interface_class, Callback callback)
        : interface_class_(upper(interface_class)), callback_(std::move(callback)) {}

    ~WindowWatcher() override {
        if (thread_.joinable()) {
            ::PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
            thread_.join();
        }
    }

    bool start(PresentDevices present) {
        announced_ = current_announcements();
        if (present == PresentDevices::Report) {
            for (const auto& [file, device] : announced_) {
                callback_(DeviceEvent{DeviceEvent::Kind::Arrival, device.interface_path,
                                      interface_class_, device});
            }
        }
        std::promise<bool> started;
        auto ready = started.get_future();
        thread_ = std::thread([this, &started] { run(started); });
        if (!ready.get()) {
            thread_.join();
            return false;
        }
        return true;
    }

  private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
        auto* self = reinterpret_cast<WindowWatcher*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_DEVICECHANGE) {
            self->device_changed(wparam, lparam);
            return TRUE;
        }
        if (self != nullptr && message == WM_TIMER && wparam == kAnnouncementTimer) {
            self->compare_announcements();
            return 0;
        }
        return ::DefWindowProcA(window, message, wparam, lparam);
    }

    void run(std::promise<bool>& started) {
        thread_id_ = ::GetCurrentThreadId();
        WNDCLASSA window_class{};
        window_class.lpfnWndProc = window_procedure;
        window_class.hInstance = ::GetModuleHandleA(nullptr);
        window_class.lpszClassName = kWindowClass;
        ::RegisterClassA(&window_class); // fails harmlessly when another watcher registered it
        HWND window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        window_class.hInstance, nullptr);
        if (window == nullptr) {
            win32::take_system_error();
            started.set_value(false);
            return;
        }
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        HDEVNOTIFY registration = nullptr;
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        if (parse_guid(interface_class_, filter.dbcc_classguid)) {
            registration =
                ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        ::SetTimer(window, kAnnouncementTimer, kAnnouncementPeriodMs, nullptr);
        set_last_error(kErrorSuccess);
        started.set_value(true);
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            ::DispatchMessageA(&message);
        }
        ::KillTimer(window, kAnnouncementTimer);
        if (registration != nullptr) {
            ::UnregisterDeviceNotification(registration);
        }
        ::DestroyWindow(window);
    }

    void device_changed(WPARAM event, LPARAM data) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
        if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) ||
            header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
            return;
        }
        const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
        callback_(DeviceEvent{event == DBT_DEVICEARRIVAL ? DeviceEvent::Kind::Arrival
                                                         : DeviceEvent::Kind::Removal,
                              device->dbcc_name, interface_class_});
    }

    // A USB interface watcher hears of every simulated device (all are USB devices); a
    // watcher of another class hears of the devices of that class.
    bool concerns_us(const DeviceRecord& device) const {
        return interface_class_ == upper(kUsbDeviceInterface) ||
               interface_class_ == upper(device.class_guid);
    }

    // The announced devices of our class, by announcement file.
    std::map<std::string, DeviceRecord> current_announcements() const {
        std::map<std::string, DeviceRecord> present;
        for (auto& announcement : read_announcements()) {
            if (concerns_us(announcement.device)) {
                present[announcement.device.source] = std::move(announcement.device);
            }
        }
        return present;
    }

    void compare_announcements() {
        auto present = current_announcements();
        for (const auto& [file, device] : announced_) {
            const auto now = present.find(file);
            if (now == present.end() || now->second.interface_path != device.interface_path) {
                callback_(DeviceEvent{DeviceEvent::Kind::Removal, device.interface_path,
                                      interface_class_});
            }
        }
        for (const auto& [file, device] : present) {
            const auto before = announced_.find(file);
            if (before == announced_.end() ||
                before->second.interface_path != device.interface_path) {
                callback_(DeviceEvent{DeviceEvent::Kind::Arrival, device.interface_path,
                                      interface_class_, device});
            }
        }
        announced_ = std::move(present);
    }

    std::string interface_class_;
    Callback callback_;
    std::map<std::string, DeviceRecord> announced_;
    DWORD thread_id_ = 0;
    std::thread thread_;
};

} // namespace

std::unique_ptr<DeviceWatcher> DeviceWatcher::start(std::string_view interface_class,
                                                    Callback callback, PresentDevices present) {
    auto watcher =
        std::make_unique<WindowWatcher>(std::string(interface_class), std::move(callback));
    if (!watcher->start(present)) {
        return nullptr;
    }
    return watcher;
}

} // namespace platform
