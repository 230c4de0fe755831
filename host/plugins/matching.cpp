#include "host/plugins/matching.h"

#include "host/config/config_file.h"
#include "host/host_log.h"
#include "host/morlin_app.h"

#include <cstring>
#include <string>
#include <string_view>

namespace morlin {

namespace {

constexpr const char* kSource = "Morlin";
constexpr std::int32_t kCodeMatchingNotSupported = 620;
constexpr std::int32_t kCodeNoSymLinkRecord = 621;
constexpr std::int32_t kCodeIvWithSeveralFiles = 625;
constexpr std::int32_t kCodeIvWithSeveralDevices = 626;

// String 100 takes the file name for its one "%s"; "%%" stands for a percent sign. Any other
// conversion is shown as it stands, so a text from the resource library can never read
// arguments that are not there.
std::string format_with_file_name(std::string_view pattern, std::string_view file_name) {
    std::string text;
    bool name_used = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 's' && !name_used) {
                text += file_name;
                name_used = true;
                ++i;
                continue;
            }
            if (pattern[i + 1] == '%') {
                text += '%';
                ++i;
                continue;
            }
        }
        text += pattern[i];
    }
    return text;
}

std::string_view entry_file_name(const DownloadEntry& entry) {
    return {entry.file_name, strnlen(entry.file_name, sizeof entry.file_name)};
}

DownloadEntry& matched_entry(MorlinApp& app) {
    return app.downloads[static_cast<std::size_t>(app.matching_entry)];
}

// No candidate: 101 when several devices all wait in download mode, else 100 with the file
// name; either is logged as its resource string.
HostError no_candidate(MorlinApp& app, const CandidateCount& counted, int line) {
    if (counted.all_wait_in_dfu) {
        host_log("%s(%i) :%s", kSource, line, app.texts.text(kStrSeveralDfuDevices).c_str());
        return HostError::host(kStrSeveralDfuDevices);
    }
    const std::string text = format_with_file_name(app.texts.text(kStrNoDeviceForFile),
                                                   entry_file_name(matched_entry(app)));
    host_log("%s(%i) :%s", kSource, line, text.c_str());
    return HostError::host(kStrNoDeviceForFile);
}

MatchResult counted_match(MorlinApp& app, int no_candidate_line) {
    MatchResult match;
    const CandidateCount counted =
        count_candidates(app.current_plugin->devices, app.configured_run, app.last_chosen_device);
    app.last_chosen_device = counted.last_chosen;
    match.candidates = counted.count;
    if (match.candidates == 0) {
        match.outcome = no_candidate(app, counted, no_candidate_line);
    }
    return match;
}

MatchResult match_by_symlink(MorlinApp& app) {
    MatchResult match;
    const SymLinkLookup lookup = lookup_symlink(app.config_file_path());
    switch (lookup.outcome) {
    case 0:
        break;
    case kStrConfigOpenFailed:
        // The configuration file's opener reports what it cannot open.
        host_log("%s(%i) :Error opening Morlin.cfg", "CfgEdtDlg", 618);
        app.show_host_error(HostError::host(kStrConfigOpenFailed));
        match.outcome = HostError::host(kStrConfigOpenFailed);
        return match;
    case kStrConfigCheckFailed:
        host_log("%s(%i) Cfg file has invalid CRC", kSource, 2546);
        match.outcome = HostError::host(kStrConfigCheckFailed);
        return match;
    default:
        host_log("%s(%i) Symbolic Link Name is missing in Cfg file", kSource, 2570);
        match.outcome = HostError::host(kCodeNoSymLinkRecord);
        return match;
    }
    host_log("%s(%i) :SymLink of Device to download: %s", kSource, 2574, lookup.symlink.c_str());

    PluginRecord& plugin = *app.current_plugin;
    if (plugin.fn.match_dev_by_symlink == nullptr) {
        host_log("%s(%i) VUPMatchDevBySymLink API not supported by this DLL", kSource, 2583);
        match.outcome = HostError::host(kCodeMatchingNotSupported);
        return match;
    }
    const int result = plugin.fn.match_dev_by_symlink(plugin.devices.data(), lookup.symlink.c_str(),
                                                      matched_entry(app).file_name);
    if (result != 0) {
        host_log("%s(%i) :Unable to match the device by Symbolic Link Name.", kSource, 2599);
        match.outcome = HostError::plugin(result, app.current_plugin_index);
        return match;
    }
    return counted_match(app, 2622);
}

MatchResult match_by_product_type(MorlinApp& app) {
    MatchResult match;
    PluginRecord& plugin = *app.current_plugin;
    if (plugin.fn.match_dfu_dev_by_prod_type == nullptr) {
        host_log("%s(%i) VUPMatchDFUDevByProdType API not supported by this DLL", kSource, 2653);
        match.outcome = HostError::host(kCodeMatchingNotSupported);
        return match;
    }
    const int result =
        plugin.fn.match_dfu_dev_by_prod_type(plugin.devices.data(), matched_entry(app).file_name);
    if (result != 0) {
        host_log("%s(%i) :Unable to match the device by Product Type.", kSource, 2668);
        match.outcome = HostError::plugin(result, app.current_plugin_index);
        return match;
    }
    // Only devices that wait in download mode count here.
    for (int index = 0; index < VUP_DEVICE_LIST_SIZE; ++index) {
        const DeviceInfoEntry& device = plugin.devices[static_cast<std::size_t>(index)];
        if (device.name[0] == '\0') {
            break;
        }
        if (device.candidate != 0 && device.dfu_mode == 1) {
            ++match.candidates;
            app.last_chosen_device = index;
        }
    }
    if (match.candidates == 0) {
        match.outcome = no_candidate(app, CandidateCount{}, 2682);
    }
    return match;
}

MatchResult match_by_filter(MorlinApp& app) {
    MatchResult match;
    if (app.command_line.identical_version()) {
        if (app.download_count > 1) {
            host_log("%s(%i) :Command line switch \"IV\" is not supported when Morlin is "
                     "configured for multiple files.",
                     kSource, 1449);
            match.outcome = HostError::host(kCodeIvWithSeveralFiles);
            match.stops_run = true;
            return match;
        }
        app.iv_flag = true;
    }
    PluginRecord& plugin = *app.current_plugin;
    const int result =
        plugin.fn.filter_device_info_set(plugin.devices.data(), matched_entry(app).file_name,
                                         VUP_RUN_CONFIGURED, app.iv_flag ? 1 : 0);
    if (result != 0) {
        match.outcome = HostError::plugin(result, app.current_plugin_index);
        return match;
    }
    match = counted_match(app, 1893);
    if (match.candidates > 1 && app.iv_flag) {
        host_log("%s(%i) :Command line switch \"IV\" is not supported when more than one Ostrum "
                 "reader is connected.",
                 kSource, 1466);
        match.outcome = HostError::host(kCodeIvWithSeveralDevices);
        match.stops_run = true;
    }
    return match;
}

} // namespace

CandidateCount count_candidates(DeviceInfoList& devices, bool prefer_normal_operation,
                                int previous_last_chosen) {
    CandidateCount counted;
    counted.last_chosen = previous_last_chosen;
    const auto listed = [&devices](int index) {
        return devices[static_cast<std::size_t>(index)].name[0] != '\0';
    };
    bool any_in_normal_operation = false;
    for (int index = 0; index < VUP_DEVICE_LIST_SIZE && listed(index); ++index) {
        const DeviceInfoEntry& device = devices[static_cast<std::size_t>(index)];
        any_in_normal_operation |= device.candidate != 0 && device.dfu_mode != 1;
    }
    // A device in normal operation wins over every device that waits in download mode.
    const bool drop_download_mode = prefer_normal_operation && any_in_normal_operation;
    for (int index = 0; index < VUP_DEVICE_LIST_SIZE && listed(index); ++index) {
        DeviceInfoEntry& device = devices[static_cast<std::size_t>(index)];
        if (device.candidate == 0) {
            continue;
        }
        if (drop_download_mode && device.dfu_mode == 1) {
            device.candidate = 0;
            continue;
        }
        ++counted.count;
        counted.last_chosen = index;
    }
    // Several candidates that all wait in download mode cannot be told apart.
    if (prefer_normal_operation && !any_in_normal_operation && counted.count > 1) {
        counted.all_wait_in_dfu = true;
        counted.count = 0;
    }
    return counted;
}

MatchResult match_file_to_devices(MorlinApp& app) {
    if (app.current_plugin == nullptr || app.matching_entry < 0 ||
        app.matching_entry >= kMaxDownloadEntries) {
        return {0, HostError::host(kStrNoDeviceForFile), false};
    }
    if (app.options.match_by_symlink) {
        return match_by_symlink(app);
    }
    if (app.options.match_dfu_dev_by_prod_type) {
        return match_by_product_type(app);
    }
    return match_by_filter(app);
}

} // namespace morlin
