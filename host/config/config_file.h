#pragma once
// Morlin.cfg: a 32-bit check value (little-endian) over the rest of the file, followed by
// 520-byte name/value records:
//   ("Options", count)  then count option records (key, value)
//   ("Download", count) then count download records (file name, " "); at most 30 are read
//   ("SymLink", symbolic link name of the one device meant), anywhere outside the sections
// Every byte from the file is checked before use: a 260-byte field without its terminating
// zero is cut, counts that lie end in a short record, a partial record is an error.
#include "host/fixed_text.h"
#include "vup_plugin.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

struct ConfigRecord {
    char name[VUP_TEXT_SIZE];
    char value[VUP_TEXT_SIZE];
};
static_assert(sizeof(ConfigRecord) == 520);
static_assert(offsetof(ConfigRecord, name) == 0);
static_assert(offsetof(ConfigRecord, value) == 260);

inline constexpr std::size_t kConfigRecordSize = sizeof(ConfigRecord);
inline constexpr std::size_t kCheckValueSize = 4;
inline constexpr int kMaxDownloadRecords = 30;
// Larger files are refused as failing their check (the largest sensible file holds a few
// dozen records).
inline constexpr std::uint64_t kConfigFileSizeLimit = 1u << 20;

inline constexpr const char* kOptionsHeader = "Options";
inline constexpr const char* kDownloadHeader = "Download";
inline constexpr const char* kSymLinkHeader = "SymLink";
inline constexpr const char* kDownloadRecordValue = " ";

// The check value: a CRC of this system's own (register 0, polynomial 0x04C10DB7, bits taken
// from the least significant upwards, no final inversion). "abc" gives 0x6E491BEB.
std::uint32_t config_check_value(std::span<const std::uint8_t> bytes);
// True when the image is at least 4 bytes long and its first 4 bytes hold the check value of
// the rest.
[[nodiscard]] bool verify_config_image(std::span<const std::uint8_t> image);

// A count as a C integer conversion reads it: blanks, sign, leading digits; saturates.
int record_count_value(std::string_view text);

struct ConfigOption {
    std::string key;
    std::string value;
};

struct ConfigContents {
    std::vector<ConfigOption> options;  // in file order
    std::vector<std::string> downloads; // in file order, at most 30
    std::optional<std::string> symlink; // first SymLink record
    bool has_options_section = false;
    bool has_download_section = false;
};

enum class ConfigFault {
    None,
    ShortOptionRecord,       // the Options count promises more records than the file holds
    ShortDownloadRecord,     // likewise for the Download section
    PartialRecord,           // the file ends inside a record where a header is expected
    UnknownHeader,           // a record that is neither header nor SymLink
    RepeatedDownloadSection, // a second Download section
};

struct ConfigParse {
    ConfigContents contents; // what was read up to the fault
    ConfigFault fault = ConfigFault::None;
    bool ok() const { return fault == ConfigFault::None; }
};

// Reads the records behind the check value (the check is not made here).
ConfigParse parse_config_records(std::span<const std::uint8_t> records);

// The whole file: check value, the Options section (when there are options), the Download
// section (when there are files), the SymLink record (when set). Bytes after each field's
// zero are zero.
std::vector<std::uint8_t> build_config_image(const ConfigContents& contents);

enum class ConfigLoadStatus { Loaded, OpenFailed, TooLarge, ReadFailed };
struct ConfigImage {
    ConfigLoadStatus status = ConfigLoadStatus::OpenFailed;
    std::vector<std::uint8_t> bytes; // the whole file when loaded
};
// Reads an existing file whole (others may read it meanwhile).
[[nodiscard]] ConfigImage load_config_image(std::string_view path);

// Saves the file that the reader would open under `path` (an existing file found ignoring
// case) in one step: a save that fails half-way leaves the old file whole, two saves at once
// never mix, the file keeps its mode. False (last error set) on failure.
[[nodiscard]] bool save_config_file(std::string_view path, const ConfigContents& contents);

// The SymLink record of a configuration file, for matching by symbolic link name.
struct SymLinkLookup {
    int outcome = 0;     // 0 found, 119 cannot be opened, 110 fails its check, 621 no record
    std::string symlink; // the record's value
};
[[nodiscard]] SymLinkLookup lookup_symlink(std::string_view path);

} // namespace morlin
