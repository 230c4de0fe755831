#pragma once
// Reading Morlin.cfg into the host at start-up: options applied, download files given to the
// plug-ins that accept them (a Tamsel image held back to the end). The configuration editor
// reads through the same reader and hears of what it reads through ConfigEditorHooks.
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

class MorlinApp;

// What the reader tells the configuration editor while it reads.
class ConfigEditorHooks {
  public:
    virtual ~ConfigEditorHooks() = default;
    // Before the first record (also for an empty file).
    virtual void before_first_record() = 0;
    // An option record whose key is one of the reader's known keys.
    virtual void option_read(std::string_view key, std::string_view value) = 0;
    // After the Download section: its files that a plug-in accepts, in section order, a
    // Tamsel image last (the download-file table as the section left it).
    virtual void download_section_read(const std::vector<std::string>& files) = 0;
    // The SymLink record, when the file holds one.
    virtual void symlink_read(std::string_view value) = 0;
};

// Reads the configuration file named by app.config_file_path(). Non-zero when the file was
// read to its end without error and its check value matched (an empty file counts as read).
// Errors are shown (119 cannot open, 110 check failed) or logged as the file format says.
//
// With `editor`, a missing file is created empty first, the download-file table is filled
// afresh (so that it holds exactly this file's section) and the editor hears of every step.
[[nodiscard]] int read_configuration(MorlinApp& app, ConfigEditorHooks* editor = nullptr);

} // namespace morlin
