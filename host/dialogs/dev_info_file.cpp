#include "host/dialogs/dev_info_file.h"

#include "host/host_log.h"
#include "platform/files/files.h"

#include <cstdio>

namespace morlin {

std::string device_info_header(const platform::LocalTime& time) {
    char header[96];
    std::snprintf(header, sizeof header,
                  "Morlin - Device Information Display %02d-%02d-%04d %02d:%02d:%02d", time.month,
                  time.day, time.year, time.hour, time.minute, time.second);
    return header;
}

std::vector<std::string>
device_info_lines(const platform::LocalTime& time,
                  const std::vector<std::pair<std::string, std::string>>& rows) {
    const std::string header = device_info_header(time) + "\r\n";
    std::vector<std::string> lines{header, std::string(header.size(), '-') + "\r\n"};
    for (const auto& [label, value] : rows) {
        lines.push_back(label + " = " + value + "\r\n");
    }
    return lines;
}

SaveResult append_device_info(const std::string& path, const platform::LocalTime& time,
                              const std::vector<std::pair<std::string, std::string>>& rows) {
    SaveResult result;
    platform::OpenOptions options;
    options.access = platform::Access::Write;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenAlways;
    options.write_through = true;
    std::unique_ptr<platform::File> file = platform::File::open(path, options);
    if (!file || !file->seek_end()) {
        return result;
    }
    result.opened = true;
    for (const std::string& line : device_info_lines(time, rows)) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
        if (!file->write({bytes, line.size()})) {
            host_log("%s(%i) :Device Info: Error writing to file %s", "DevInfo", 643, path.c_str());
            return result;
        }
    }
    result.complete = file->flush();
    if (!result.complete) {
        host_log("%s(%i) :Device Info: Error writing to file %s", "DevInfo", 643, path.c_str());
    }
    return result;
}

} // namespace morlin
