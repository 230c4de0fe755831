#include "sim/announcement.h"

#include "platform/devices/announcement.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace sim {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr std::string_view kModemClass = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::string_view kUsbInterfaceClass = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

struct ModelIds {
    std::string_view vid_pid_upper; // "VID_04E6&PID_1A02"
    std::string_view vid_pid_mixed; // "Vid_04e6&Pid_1a02"
    std::string_view modem_mark;    // what the Windows 9x hardware ID carries
    std::string_view product;
};

ModelIds ids_of(TerminalModel model) {
    if (model == TerminalModel::Pellax) {
        return {"VID_1513&PID_0444", "Vid_1513&Pid_0444", "HYPERCOM", "Pellax"};
    }
    return {"VID_04E6&PID_1A02", "Vid_04e6&Pid_1a02", "Ostrum", "Halvane"};
}

// "PortName=COM7" → "COM7"; other lines give nothing.
std::string port_name_of_line(const std::string& line) {
    constexpr std::string_view key = "PortName=";
    if (line.compare(0, key.size(), key) != 0) {
        return {};
    }
    std::string value = line.substr(key.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
        value.pop_back();
    }
    return value;
}

} // namespace

std::string announcement_text(const AnnouncementIdentity& identity) {
    const ModelIds ids = ids_of(identity.model);
    const std::string usb_instance =
        "USB\\" + std::string(ids.vid_pid_upper) + "\\" + identity.serial;
    const std::string interface_tail = "USB#" + std::string(ids.vid_pid_mixed) + "#" +
                                       identity.serial + "#" + std::string(kUsbInterfaceClass);
    const std::string symbolic_name = "\\??\\" + interface_tail;

    std::ostringstream text;
    text << "# Simulated " << ids.product << " terminal (HalvaneSim)\n";
    text << "[Device]\n";
    if (identity.announce_as == AnnounceAs::Modem9x) {
        text << "Class=" << kModemClass << "\n";
        text << "InstanceId=MODEM\\" << ids.modem_mark << "_" << ids.product << "\\"
             << identity.serial << "\n";
        text << "HardwareId=USB\\" << ids.vid_pid_upper << "&" << ids.modem_mark << "_"
             << ids.product << "\n";
    } else {
        text << "Class=" << kPortsClass << "\n";
        text << "InstanceId=" << usb_instance << "\n";
        text << "HardwareId=USB\\" << ids.vid_pid_mixed << "&Rev_0100\n";
        text << "HardwareId=USB\\" << ids.vid_pid_mixed << "\n";
    }
    text << "InterfacePath=\\\\?\\" << interface_tail << "\n";
    text << "Port=rfc2217://127.0.0.1:" << identity.tcp_port << "\n";
    if (identity.process_id != 0) {
        text << "ProcessId=" << identity.process_id << "\n";
    }
    text << "\n[DeviceKey]\n";
    text << "PortName=" << identity.port_name << "\n";
    if (identity.announce_as == AnnounceAs::Modem9x) {
        text << "ParentDevNode=" << usb_instance << "\n";
    } else {
        text << "SymbolicName=" << symbolic_name << "\n";
    }
    text << "\n[Enum\\" << usb_instance << "]\n";
    text << "SymbolicName=" << symbolic_name << "\n";
    return text.str();
}

std::string free_port_name(std::string_view directory) {
    std::set<std::string> taken;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(directory), ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.extension() != ".device" || path.filename().string().starts_with(".")) {
            continue;
        }
        // Read as the devices' readers read it: a pipe or a device here names no port.
        const auto text = platform::read_announcement_text(path);
        if (!text) {
            continue;
        }
        std::istringstream in(*text);
        for (std::string line; std::getline(in, line);) {
            std::string name = port_name_of_line(line);
            for (char& c : name) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            if (!name.empty()) {
                taken.insert(name);
            }
        }
    }
    for (unsigned n = 3;; ++n) {
        std::string name = "COM" + std::to_string(n);
        if (!taken.contains(name)) {
            return name;
        }
    }
}

std::string write_announcement(std::string_view directory, std::string_view name,
                               std::string_view text, std::string& error) {
    const fs::path folder(directory);
    std::error_code created;
    fs::create_directories(folder, created); // an existing folder is fine
    const fs::path temporary = folder / ("." + std::string(name) + ".tmp");
    const fs::path target = folder / (std::string(name) + ".device");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temporary.string();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return {};
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        error = "cannot rename " + temporary.string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return {};
    }
    return target.string();
}

bool remove_announcement(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    std::error_code ec;
    fs::remove(fs::path(path), ec);
    return !ec;
}

std::vector<std::string> announce_unserved_terminals(std::string_view directory,
                                                     std::string_view stem, int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        AnnouncementIdentity identity;
        identity.serial = std::string(stem) + std::to_string(i);
        identity.port_name = "COM" + std::to_string(100 + i);
        identity.tcp_port = 9; // the discard port: nobody serves it here
        std::string error;
        files.push_back(
            write_announcement(directory, identity.serial, announcement_text(identity), error));
    }
    return files;
}

} // namespace sim
