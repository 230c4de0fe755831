#pragma once
// The configuration editor's lists as data: which firmware files of the folder it shows and
// checks, which keys the option dialog offers, which value texts a number may have, and the
// file that the two lists make.
#include "host/config/config_file.h"
#include "host/config/host_options.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

// At most this many files are listed, as the Download section holds at most 30.
inline constexpr std::size_t kMaxListedFirmwareFiles = 30;
inline constexpr const char* kFirmwareFilePattern = "*.?i?";

struct FileRow {
    std::string name;
    bool checked = false;
    bool operator==(const FileRow&) const = default;
};

// The folder's "*.?i?" files in listing order, all of them. Names that are not valid UTF-8 or
// longer than 259 bytes cannot be shown or stored and are left out; each is logged.
std::vector<std::string> listed_firmware_files(std::string_view folder);

// The file list before the Download section is read: the first 30 listed files, unchecked;
// a longer listing is cut, and the log says so.
std::vector<FileRow> first_listed_rows(const std::vector<std::string>& listed);

// The file list after the Download section: the section's files (in the order given, at most
// 30) that are in the folder's whole listing (same name ignoring case), checked; then the
// listed files that the section does not name, unchecked, while the list has room (a cut is
// logged). A section file not listed is left out.
std::vector<FileRow> download_file_rows(const std::vector<std::string>& section_files,
                                        const std::vector<std::string>& listed);

// The keys the option dialog offers for a kind: the editor's keys of that kind that are not
// yet used, in reverse table order.
std::vector<std::string> offered_option_keys(OptionKind kind,
                                             const std::vector<std::string>& used_keys);

// A value field's text: empty, "-", "-1", or decimal digits only.
bool value_text_allowed(std::string_view text);

// What the editor saves: every option row, then the checked files in list order, and the
// SymLink record it found when it loaded.
ConfigContents editor_contents(const std::vector<ConfigOption>& options,
                               const std::vector<FileRow>& files,
                               const std::optional<std::string>& symlink);

} // namespace morlin
