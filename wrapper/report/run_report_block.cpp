#include "wrapper/report/run_report_block.h"

#include "wrapper/result_codes.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace valdrun {
namespace {

constexpr std::size_t kRuleWidth = 73;

std::string printf_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string printf_text(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return length < 0 ? std::string()
                      : std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

std::string rule() {
    return "\n" + std::string(kRuleWidth, '*');
}

// The name in the active slot; a terminal is named by the port it was found on.
std::string device_name(const ReportFacts& facts) {
    if (facts.description.terminal && !facts.detected.terminal_port_name.empty()) {
        return facts.detected.terminal_port_name;
    }
    const int slot = facts.detected.active_slot == 1 ? 1 : 0;
    return facts.description.slot_name[slot];
}

std::string current_versions(const ReportFacts& facts) {
    if (facts.description.terminal) {
        const TerminalVersions& v = facts.detected.terminal;
        return printf_text("\nCurrent application version: V%d.%.2d\nCurrent firmware version: "
                           "V%d.%d.%d",
                           v.app_major, v.app_minor, v.fw_major, v.fw_minor, v.fw_build);
    }
    return printf_text("\nCurrent firmware version: V%x.%.2x",
                       facts.detected.version_reply[kFirmwareMajorByte],
                       facts.detected.version_reply[kFirmwareMinorByte]);
}

bool application_due(int detection) {
    return application_part(detection) == kDetectedUpdateDue;
}
bool firmware_due(int detection) {
    return firmware_part(detection) == kDetectedUpdateDue;
}

std::string new_versions(const ReportFacts& facts) {
    const Version& firmware = facts.description.target_firmware;
    if (!facts.description.terminal) {
        return printf_text("\nNew firmware version: V%x.%.2x", firmware.major, firmware.minor);
    }
    std::string text = "\n\n";
    if (application_due(facts.detected.result)) {
        const Version& application = facts.description.target_application;
        text += printf_text("New application version: V%d.%.2d\n", application.major,
                            application.minor);
    }
    if (firmware_due(facts.detected.result)) {
        text += printf_text("New firmware version: V%d.%d.%d\n", firmware.major, firmware.minor,
                            firmware.build);
    }
    return text;
}

std::string return_code_line(int code) {
    return printf_text("\nReturnCode: %d\n", code);
}

std::string outcome_lines(const ReportFacts& facts, int return_code) {
    if (return_code == kResultNotFound) {
        std::string text;
        if (facts.first_notice_shown && !facts.detected.other_reader_name.empty()) {
            text += "\n" + facts.detected.other_reader_name + " is found connected in the system\n";
        }
        text += "\nNo " + facts.description.descriptor +
                " smart card reader is available for use with the resource manager!\n";
        return text + return_code_line(return_code);
    }
    std::string text = "\n" + device_name(facts) + "\n" + current_versions(facts);
    switch (return_code) {
    case kResultLoaded:
        text += new_versions(facts) + "\n\nThe new firmware is loaded successfully.";
        break;
    case kResultUpToDate:
        // The digit 0: an up-to-date device is a success for the installer reading the report.
        return text + "\n\nThe reader is up-to-date!" + return_code_line(0);
    case kResultServiceFailed:
        text += "\nStop/start of zkaservice.exe or ScardSvr service is failed";
        break;
    case kResultFirmwareTooOld:
        text += "\nFirmware has not been updated. Unsupported firmware version found in the "
                "reader.";
        break;
    case kResultToolCancelled:
        text += "\nFirmware update cancelled";
        break;
    default:
        text += "\nFirmware update failed";
        if (!facts.tool_not_started.empty())
            text += ": the update tool " + std::string(facts.tool_not_started) +
                    " could not be started";
        break;
    }
    if (facts.tool_still_running)
        text += "\nThe update tool was still running when Valdrun was ended.";
    return text + return_code_line(return_code);
}

} // namespace

std::string run_report_block(const ReportFacts& facts, int return_code, const ReportStamp& stamp) {
    return rule() + "\n" + facts.version_line + "\n" + std::string(kMakerLine) +
           outcome_lines(facts, return_code) + report_stamp_line(stamp) + rule();
}

} // namespace valdrun
