#include "host/config/config_reader.h"

#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/is_tamsel.h"
#include "host/plugins/plugin_binding.h"
#include "host/plugins/rejected_file_note.h"
#include "platform/files/files.h"

namespace morlin {

namespace {

constexpr const char* kSource = "CfgEdtDlg";

// Places one configured file into the download-file table, when a plug-in accepts it.
// A Tamsel image is not placed but remembered in `tamsel`.
void take_download_file(MorlinApp& app, const std::string& file, std::string& tamsel) {
    if (app.download_count >= kMaxDownloadEntries) {
        return;
    }
    DownloadEntry& entry = app.downloads[static_cast<std::size_t>(app.download_count)];
    set_record_field(entry.file_name, file);
    app.matching_entry = app.download_count;
    std::vector<int> answers;
    if (choose_plugin_for_file(app, entry.file_name, &answers).failed() || app.plugin_count == 0) {
        app.notes_before_log.push_back(rejected_file_note(app, file, answers));
        set_record_field(entry.file_name, " ");
        return;
    }
    if (IsTamsel(entry.file_name) != 0) {
        tamsel = record_field_text(entry.file_name);
        set_record_field(entry.file_name, " ");
        return;
    }
    ++app.download_count;
}

// The editor's load opens or creates the file, so that a missing file is created empty.
void create_if_missing(const std::string& path) {
    platform::OpenOptions options;
    options.access = platform::Access::Read;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenAlways;
    // A file that cannot be made shows as the read error that follows.
    [[maybe_unused]] const auto created = platform::File::open(path, options);
}

} // namespace

int read_configuration(MorlinApp& app, ConfigEditorHooks* editor) {
    if (editor != nullptr) {
        create_if_missing(app.config_file_path());
    }
    const ConfigImage image = load_config_image(app.config_file_path());
    if (image.status == ConfigLoadStatus::OpenFailed) {
        host_log("%s(%i) :Error opening Morlin.cfg", kSource, 618);
        app.show_host_error(HostError::host(kStrConfigOpenFailed));
        return 0;
    }
    if (image.status != ConfigLoadStatus::Loaded ||
        (!image.bytes.empty() && !verify_config_image(image.bytes))) {
        // Start-up and the editor's load read the same damaged file: the user hears it once.
        if (!app.config_check_failure_shown) {
            app.config_check_failure_shown = true;
            app.show_host_error(HostError::host(kStrConfigCheckFailed));
        }
        return 0;
    }
    app.config_loaded = true;
    const auto records =
        std::span(image.bytes).subspan(std::min(image.bytes.size(), kCheckValueSize));
    const ConfigParse parse = parse_config_records(records);

    if (editor != nullptr) {
        editor->before_first_record();
        app.download_count = 0;
    }
    for (const ConfigOption& option : parse.contents.options) {
        apply_option(app.options, option.key, option.value);
        if (editor != nullptr && find_option_key(option.key) != nullptr) {
            editor->option_read(option.key, option.value);
        }
    }
    std::string tamsel;
    for (const std::string& file : parse.contents.downloads) {
        take_download_file(app, file, tamsel);
    }
    if (!tamsel.empty() && app.download_count < kMaxDownloadEntries) {
        DownloadEntry& last = app.downloads[static_cast<std::size_t>(app.download_count)];
        set_record_field(last.file_name, tamsel);
        ++app.download_count;
    }
    if (editor != nullptr) {
        if (parse.contents.has_download_section) {
            std::vector<std::string> files;
            for (int i = 0; i < app.download_count; ++i) {
                files.push_back(
                    record_field_text(app.downloads[static_cast<std::size_t>(i)].file_name));
            }
            editor->download_section_read(files);
        }
        if (parse.contents.symlink) {
            editor->symlink_read(*parse.contents.symlink);
        }
    }

    switch (parse.fault) {
    case ConfigFault::ShortOptionRecord:
        host_log("%s(%i) :Error reading from Morlin.cfg", kSource, 396);
        break;
    case ConfigFault::ShortDownloadRecord:
        host_log("%s(%i) :Error reading from Morlin.cfg", kSource, 446);
        break;
    default:
        break;
    }
    return parse.ok() ? 1 : 0;
}

} // namespace morlin
