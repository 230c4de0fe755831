#include "host/config_reader.h"

#include "host/config_file.h"
#include "host/host_log.h"
#include "host/is_tamsel.h"
#include "host/morlin_app.h"
#include "host/plugin_binding.h"
#include "host/rejected_file_note.h"

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

} // namespace

int read_configuration(MorlinApp& app) {
    const ConfigImage image = load_config_image(app.config_file_path());
    if (image.status == ConfigLoadStatus::OpenFailed) {
        host_log("%s(%i) :Error opening Morlin.cfg", kSource, 618);
        app.show_host_error(HostError::host(kStrConfigOpenFailed));
        return 0;
    }
    if (image.status != ConfigLoadStatus::Loaded ||
        (!image.bytes.empty() && !verify_config_image(image.bytes))) {
        app.show_host_error(HostError::host(kStrConfigCheckFailed));
        return 0;
    }
    app.config_loaded = true;
    const auto records =
        std::span(image.bytes).subspan(std::min(image.bytes.size(), kCheckValueSize));
    const ConfigParse parse = parse_config_records(records);

    for (const ConfigOption& option : parse.contents.options) {
        apply_option(app.options, option.key, option.value);
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
