// Device arrival and removal with inotify: announcement files in MORLIN_DEVICES come and go,
// and the machine's USB serial ports appear and vanish in /dev.
#include "platform/devices/announcement.h"
#include "platform/devices/device_watcher.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/io/wait_posix.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/inotify.h>
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

class InotifyWatcher final : public DeviceWatcher {
  public:
    InotifyWatcher(std::string interface_class, Callback callback)
        : interface_class_(upper(interface_class)), callback_(std::move(callback)) {}

    ~InotifyWatcher() override {
        stop_.raise();
        if (thread_.joinable()) {
            thread_.join();
        }
        if (inotify_ >= 0) {
            ::close(inotify_);
        }
    }

    // False, with the last error set, when a place that devices come and go in cannot be
    // watched: removals there would go unnoticed.
    bool start(PresentDevices present) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0 || !stop_.valid()) {
            set_last_error(inotify_ < 0 ? error_from_errno(errno) : kErrorNotEnoughMemory);
            return false;
        }
        if (const auto folder = announcement_folder()) {
            folder_watch_ = ::inotify_add_watch(inotify_, folder->c_str(),
                                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE |
                                                    IN_MOVED_FROM | IN_DELETE_SELF);
            if (folder_watch_ < 0) {
                set_last_error_from_errno(errno);
                return false;
            }
            announced_ = present_announcements();
        }
        if (real_ports_enabled()) {
            dev_watch_ = ::inotify_add_watch(inotify_, "/dev", IN_CREATE | IN_DELETE);
            if (dev_watch_ < 0) {
                set_last_error_from_errno(errno);
                return false;
            }
            real_ports_ = present_real_ports();
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
        thread_ = std::thread([this] { run(); });
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
    void rescan() {
        if (folder_watch_ >= 0) {
            report_changes(announced_, present_announcements());
        }
        if (dev_watch_ >= 0) {
            report_changes(real_ports_, present_real_ports());
        }
    }

    void run() {
        alignas(inotify_event) std::array<char, 16 * 1024> buffer;
        for (;;) {
            short revents = 0;
            const auto outcome = wait_for(inotify_, POLLIN, std::nullopt, stop_, revents);
            if (outcome != WaitOutcome::Ready) {
                return; // stopped (or the descriptor failed: nothing more to hear)
            }
            const ssize_t n = ::read(inotify_, buffer.data(), buffer.size());
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    continue;
                }
                return;
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
        } else if (event.wd == dev_watch_ && dev_watch_ >= 0 && name.starts_with("tty")) {
            if (event.mask & IN_CREATE) {
                port_arrived(name);
            } else if (event.mask & IN_DELETE) {
                port_removed(name);
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

    void port_arrived(const std::string& name) {
        const auto port = usb_serial_port(name);
        if (!port || !concerns_us(*port)) {
            return;
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
    int dev_watch_ = -1;
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
        std::make_unique<InotifyWatcher>(std::string(interface_class), std::move(callback));
    if (!watcher->start(present)) {
        return nullptr;
    }
    return watcher;
}

} // namespace platform
