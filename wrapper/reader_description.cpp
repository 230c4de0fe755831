#include "wrapper/reader_description.h"

#include "platform/profile/profile.h"

#include <strings.h>

namespace valdrun {
namespace {

// A key whose value is empty counts as absent.
std::optional<std::string> value_of(const platform::Profile& profile, std::string_view key) {
    auto value = profile.string(kDescriptionSection, key);
    if (!value || value->empty())
        return std::nullopt;
    return value;
}

bool is_yes(const std::optional<std::string>& value) {
    return value && ::strcasecmp(value->c_str(), "YES") == 0;
}

std::optional<ReaderDescription> from_profile(const platform::Profile& profile) {
    ReaderDescription d;
    if (auto terminal = value_of(profile, "TerminalName")) {
        d.slot_name[0] = std::move(*terminal);
        d.terminal = true;
    } else if (auto reader = value_of(profile, "ReaderName")) {
        d.slot_name[0] = std::move(*reader);
    } else {
        if (auto usb = value_of(profile, "ReaderName1"))
            d.slot_name[0] = std::move(*usb);
        if (auto serial = value_of(profile, "ReaderName2")) {
            d.slot_name[1] = std::move(*serial);
            d.active_slot = 1; // until detection decides otherwise
        }
        if (d.slot_described(1)) {
            auto hardware_id = value_of(profile, "HardwareID");
            if (!hardware_id)
                return std::nullopt;
            d.hardware_id = std::move(*hardware_id);
        }
    }
    if (!d.slot_described(0) && !d.slot_described(1))
        return std::nullopt;
    if (d.slot_described(0)) {
        auto vid = value_of(profile, "VID");
        auto pid = value_of(profile, "PID");
        if (!vid || !pid)
            return std::nullopt;
        const auto vid_number = scan_hex_number(*vid);
        const auto pid_number = scan_hex_number(*pid);
        if (!vid_number || !pid_number)
            return std::nullopt;
        d.vid_text = std::move(*vid);
        d.pid_text = std::move(*pid);
        d.vid = *vid_number;
        d.pid = *pid_number;
        d.usb_only = is_yes(value_of(profile, "USBOnly"));
    }
    d.display_warning = is_yes(value_of(profile, "DISPLAYWARNING"));
    auto firmware = value_of(profile, "FWVER");
    if (!firmware)
        return std::nullopt;
    const auto target_firmware = scan_hex_version(*firmware, d.terminal ? 3 : 2);
    if (!target_firmware)
        return std::nullopt;
    d.fw_version_text = std::move(*firmware);
    d.target_firmware = *target_firmware;
    auto descriptor = value_of(profile, "Descriptor");
    if (!descriptor)
        return std::nullopt;
    d.descriptor = std::move(*descriptor);
    if (d.terminal) {
        auto application = value_of(profile, "APPVER");
        if (!application)
            return std::nullopt;
        const auto target_application = scan_decimal_version(*application, 2);
        if (!target_application)
            return std::nullopt;
        d.app_version_text = std::move(*application);
        d.target_application = *target_application;
    }
    if (auto tool = value_of(profile, "FWUpdateTool"))
        d.update_tool = std::move(*tool);
    if (auto command_line = value_of(profile, "CmdLineParameter"))
        d.command_line = std::move(*command_line);
    return d;
}

} // namespace

std::string sibling_file(std::string_view program_path, std::string_view extension) {
    const std::size_t name_start = program_path.find_last_of("/\\") + 1; // npos + 1 == 0
    const std::size_t point = program_path.rfind('.');
    std::string path(program_path);
    if (point == std::string_view::npos || point < name_start)
        path += '.';
    else
        path.resize(point + 1);
    return path.append(extension);
}

std::optional<ReaderDescription> read_reader_description(std::string_view path) {
    const auto profile = platform::Profile::load(path);
    if (!profile)
        return std::nullopt;
    return from_profile(*profile);
}

std::optional<ReaderDescription> parse_reader_description(std::string_view text) {
    return from_profile(platform::Profile::parse(text));
}

} // namespace valdrun
