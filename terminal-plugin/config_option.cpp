#include "config_option.h"

#include "fixed_text.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <platform/files/files.h>
#include <strings.h>

namespace vupporta {
namespace {

constexpr std::size_t kFieldSize = 260;
constexpr std::size_t kRecordSize = 2 * kFieldSize;
constexpr std::size_t kCheckValueSize = 4;

struct Record {
    std::array<std::uint8_t, kRecordSize> bytes{};
    std::size_t length = 0;

    std::string_view name() const {
        return field_text(reinterpret_cast<const char*>(bytes.data()), kFieldSize);
    }
    std::string_view value() const {
        return field_text(reinterpret_cast<const char*>(bytes.data() + kFieldSize), kFieldSize);
    }
};

// Reads the next record; false when the read fails or returns nothing. A short last record
// keeps zeros where bytes are missing.
bool read_record(platform::File& file, Record& record) {
    record.bytes.fill(0);
    const auto count = file.read(record.bytes);
    record.length = count.value_or(0);
    return record.length > 0;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string read_config_option(const char* config_path, std::string_view name) {
    if (config_path == nullptr || *config_path == '\0') {
        return {};
    }
    auto file = platform::File::open(config_path, {platform::Access::Read, platform::Share::Read,
                                                   platform::Disposition::OpenExisting, false});
    if (!file || !file->seek(kCheckValueSize)) {
        return {};
    }
    Record header;
    if (!read_record(*file, header) || header.length != kRecordSize || header.name() != "Options") {
        return {};
    }
    // The count is read like atoi: leading digits only.
    const std::string count_text(header.value());
    const long count = std::strtol(count_text.c_str(), nullptr, 10);
    Record option;
    for (long index = 0; index < count && read_record(*file, option); ++index) {
        if (equal_ignoring_case(option.name(), name)) {
            return std::string(option.value().substr(0, kFieldSize - 1));
        }
    }
    return {};
}

} // namespace vupporta
