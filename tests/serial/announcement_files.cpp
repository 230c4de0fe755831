#include "announcement_files.h"

#include "tests/common/temp_dir.h"

namespace serial_test {

void write_file_atomically(const std::filesystem::path& folder, const std::string& name,
                           const std::string& text) {
    const auto temporary = folder / ("." + name + ".tmp");
    morlin_test::write_text(temporary, text);
    std::filesystem::rename(temporary, folder / name);
}

std::string announcement_text(const std::string& serial, const std::string& port_name,
                              const std::string& port_address) {
    const std::string tail =
        "USB#Vid_04e6&Pid_1a02#" + serial + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    return "[Device]\n"
           "Class={4D36E978-E325-11CE-BFC1-08002BE10318}\n"
           "InstanceId=USB\\VID_04E6&PID_1A02\\" +
           serial +
           "\n"
           "HardwareId=USB\\Vid_04e6&Pid_1a02&Rev_0100\n"
           "HardwareId=USB\\Vid_04e6&Pid_1a02\n"
           "InterfacePath=\\\\?\\" +
           tail +
           "\n"
           "Port=" +
           port_address +
           "\n"
           "\n[DeviceKey]\n"
           "PortName=" +
           port_name +
           "\n"
           "SymbolicName=\\??\\" +
           tail +
           "\n"
           "\n[Enum\\USB\\VID_04E6&PID_1A02\\" +
           serial +
           "]\n"
           "SymbolicName=\\??\\" +
           tail + "\n";
}

} // namespace serial_test
