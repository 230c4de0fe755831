// Device arrival and removal: announcement files in MORLIN_DEVICES come and go (inotify), and
// the machine's USB serial ports are added and removed as udev tells once its rules have run
// (sd-device's monitor). One sd-event loop on the watcher's thread hears both.
#include "platform/devices/announcement.h"
#include "platform/devices/device_watcher.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/devices/usb_serial_ports_udev.h"
#include "platform/foundation/last_error.h"
#include "platform/io/wait_posix.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <systemd/sd-event.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

bool same_class(std::string_view a, std::string_view b) {
    return a.size() == b.size() && !CaseInsensitiveLess{}(a, b) && !CaseInsensitiveLess{}(b, a);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

class LinuxDeviceWatcher final : public DeviceWatcher {
  public:
    LinuxDeviceWatcher(std::string interface_class, Callback callback)
        : interface_class_(upper(interface_class)), callback_(std::move(callback)) {}

    ~LinuxDeviceWatcher() override {
        stop_.raise();
        if (thread_.joinable()) {
            thread_.join();
        }
        sd_device_monitor_unref(monitor_);
        sd_event_unref(event_);
        if (inotify_ >= 0) {
            ::close(inotify_);
        }
    }

    // False, with the last error set, when a place that devices come and go in cannot be
    // watched: removals there would go unnoticed.
    bool start(PresentDevices present) {
        if (!stop_.valid() || sd_event_new(&event_) < 0 ||
            sd_event_add_io(event_, nullptr, stop_.fd(), EPOLLIN, &LinuxDeviceWatcher::on_stop,
                            this) < 0) {
            set_last_error(kErrorNotEnoughMemory);
            return false;
        }
        if (const auto folder = announcement_folder()) {
            if (!watch_folder(*folder)) {
                return false;
            }
            announced_ = present_announcements();
        }
        if (real_ports_enabled()) {
            if (const int error = watch_udev(); error != 0) {
                set_last_error_from_errno(error);
                return false;
            }
            real_ports_ = present_real_ports(); // after the monitor started: none falls between
        }
        if (present == PresentDevices::Report) {
            for (const Present* known : {&announced_, &real_ports_}) {
                for (const auto& [name, device] : *known) {
                    if (concerns_us(device)) {
                        report(DeviceEvent::Kind::Arrival, device.interface_path, device);
                    }
                }
            }
        }
        thread_ = std::thread([this] { sd_event_loop(event_); });
        set_last_error(kErrorSuccess);
        return true;
    }

  private:
    // A USB interface watcher hears of every device here (all are USB devices); a watcher of
    // another class hears of the devices of that class.
    bool concerns_us(const DeviceRecord& device) const {
        return same_class(interface_class_, kUsbDeviceInterface) ||
               same_class(interface_class_, device.class_guid);
    }

    void report(DeviceEvent::Kind kind, const std::string& interface_path,
                const DeviceRecord& device = {}) {
        callback_(DeviceEvent{kind, interface_path, interface_class_, device});
    }

    // The devices present, by file name.
    using Present = std::map<std::string, DeviceRecord>;

    Present present_announcements() const {
        Present present;
        for (const auto& announcement : read_announcements()) {
            if (concerns_us(announcement.device)) {
                const auto name = std::filesystem::path(announcement.device.source).filename();
                present[name.string()] = announcement.device;
            }
        }
        return present;
    }

    Present present_real_ports() const {
        Present present;
        for (const auto& port : usb_serial_ports()) {
            if (const auto name = port.key_value("PortName")) {
                present[*name] = port;
            }
        }
        return present;
    }

    // Reports what changed between what was known and what is present now.
    void report_changes(Present& known, Present present) {
        for (const auto& [name, device] : known) {
            const auto now = present.find(name);
            if (now == present.end() || now->second.interface_path != device.interface_path) {
                report(DeviceEvent::Kind::Removal, device.interface_path);
            }
        }
        for (const auto& [name, device] : present) {
            const auto before = known.find(name);
            if (before == known.end() || before->second.interface_path != device.interface_path) {
                report(DeviceEvent::Kind::Arrival, device.interface_path, device);
            }
        }
        known = std::move(present);
    }

    // The kernel dropped events (its queue overflowed): what is there now is compared with
    // what was known, so that no removal goes unreported.
    void rescan() { report_changes(announced_, present_announcements()); }

    bool watch_folder(const std::filesystem::path& folder) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        folder_watch_ = ::inotify_add_watch(inotify_, folder.c_str(),
                                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE |
                                                IN_MOVED_FROM | IN_DELETE_SELF);
        if (folder_watch_ < 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        if (sd_event_add_io(event_, nullptr, inotify_, EPOLLIN, &LinuxDeviceWatcher::on_inotify,
                            this) < 0) {
            set_last_error(kErrorNotEnoughMemory);
            return false;
        }
        return true;
    }

    // The udev monitor for tty devices: 0, or the errno why it cannot listen.
    int watch_udev() {
        int result = sd_device_monitor_new(&monitor_);
        if (result >= 0) {
            result = sd_device_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr);
        }
        if (result >= 0) {
            result = sd_device_monitor_attach_event(monitor_, event_);
        }
        if (result >= 0) {
            result = sd_device_monitor_start(monitor_, &LinuxDeviceWatcher::on_udev_event, this);
        }
        return result < 0 ? -result : 0;
    }

    static int on_stop(sd_event_source* source, int, uint32_t, void*) {
        return sd_event_exit(sd_event_source_get_event(source), 0);
    }

    static int on_udev_event(sd_device_monitor*, sd_device* device, void* self) {
        static_cast<LinuxDeviceWatcher*>(self)->udev_event(device);
        return 0;
    }

    void udev_event(sd_device* device) {
        sd_device_action_t action{};
        const char* name = nullptr;
        if (sd_device_get_action(device, &action) < 0 || sd_device_get_sysname(device, &name) < 0) {
            return;
        }
        if (action == SD_DEVICE_ADD) {
            port_arrived(name, usb_serial_record(device));
        } else if (action == SD_DEVICE_REMOVE) {
            port_removed(name);
        }
    }

    static int on_inotify(sd_event_source*, int, uint32_t, void* self) {
        static_cast<LinuxDeviceWatcher*>(self)->read_inotify();
        return 0;
    }

    void read_inotify() {
        alignas(inotify_event) std::array<char, 16 * 1024> buffer;
        for (;;) {
            const ssize_t n = ::read(inotify_, buffer.data(), buffer.size());
            if (n <= 0) {
                return; // drained (EAGAIN), or nothing more to hear
            }
            std::size_t offset = 0;
            while (offset + sizeof(inotify_event) <= static_cast<std::size_t>(n)) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                const std::size_t size = sizeof(inotify_event) + event->len;
                if (offset + size > static_cast<std::size_t>(n)) {
                    break;
                }
                const std::string name =
                    event->len > 0 ? std::string(event->name, ::strnlen(event->name, event->len))
                                   : std::string();
                handle(*event, name);
                offset += size;
            }
        }
    }

    void handle(const inotify_event& event, const std::string& name) {
        if (event.mask & IN_Q_OVERFLOW) {
            rescan();
        } else if (event.wd == folder_watch_ && folder_watch_ >= 0) {
            if (!is_announcement_name(name)) {
                return;
            }
            if (event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) {
                announcement_arrived(name);
            } else if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
                announcement_removed(name);
            }
        }
    }

    void announcement_arrived(const std::string& name) {
        const auto announcement = read_announcement(*announcement_folder() / name);
        if (!announcement || !concerns_us(announcement->device)) {
            return;
        }
        const auto known = announced_.find(name);
        if (known != announced_.end() &&
            known->second.interface_path == announcement->device.interface_path) {
            return; // rewritten in place: the same device
        }
        if (known != announced_.end()) {
            report(DeviceEvent::Kind::Removal, known->second.interface_path);
        }
        announced_[name] = announcement->device;
        report(DeviceEvent::Kind::Arrival, announcement->device.interface_path,
               announcement->device);
    }

    void announcement_removed(const std::string& name) {
        const auto known = announced_.find(name);
        if (known == announced_.end()) {
            return;
        }
        const std::string path = known->second.interface_path;
        announced_.erase(known);
        report(DeviceEvent::Kind::Removal, path);
    }

    void port_arrived(const std::string& name, const std::optional<DeviceRecord>& port) {
        if (!port || !concerns_us(*port)) {
            return;
        }
        const auto known = real_ports_.find(name);
        if (known != real_ports_.end() && known->second.interface_path == port->interface_path) {
            return; // already reported (listed at the start while its event was on its way)
        }
        if (known != real_ports_.end()) {
            report(DeviceEvent::Kind::Removal, known->second.interface_path);
        }
        real_ports_[name] = *port;
        report(DeviceEvent::Kind::Arrival, port->interface_path, *port);
    }

    void port_removed(const std::string& name) {
        const auto known = real_ports_.find(name);
        if (known == real_ports_.end()) {
            return;
        }
        const std::string path = known->second.interface_path;
        real_ports_.erase(known);
        report(DeviceEvent::Kind::Removal, path);
    }

    std::string interface_class_;
    Callback callback_;
    int inotify_ = -1;
    int folder_watch_ = -1;
    sd_event* event_ = nullptr;
    sd_device_monitor* monitor_ = nullptr;
    CancelSignal stop_;
    // Interface paths of the devices present, kept to report them when their file is gone.
    Present announced_;
    Present real_ports_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<DeviceWatcher> DeviceWatcher::start(std::string_view interface_class,
                                                    Callback callback, PresentDevices present) {
    if (!callback || interface_class.empty()) {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    auto watcher =
        std::make_unique<LinuxDeviceWatcher>(std::string(interface_class), std::move(callback));
    if (!watcher->start(present)) {
        return nullptr;
    }
    return watcher;
}

} // namespace platform
