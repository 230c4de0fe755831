#include "sim/status_response.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

std::string fit_five(std::string text, char pad_left) {
    if (text.size() > 5) {
        text.resize(5);
    }
    if (text.size() < 5) {
        text.insert(text.begin(), 5 - text.size(), pad_left);
    }
    return text;
}

// A version text set for the terminal: blank-padded or cut to five characters.
std::string set_text_five(std::string text) {
    text.resize(5, ' ');
    return text;
}

void put_text(std::vector<std::uint8_t>& field, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), field.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

std::string application_version_text(const TerminalStatus& status) {
    if (!status.app_text.empty()) {
        return set_text_five(status.app_text);
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%02u", unsigned{status.app_major},
                  unsigned{status.app_minor});
    return fit_five(buffer, '0');
}

std::string firmware_version_text(const TerminalStatus& status) {
    if (!status.fw_text.empty()) {
        return set_text_five(status.fw_text);
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u", unsigned{status.fw_major},
                  unsigned{status.fw_minor}, unsigned{status.fw_build});
    return fit_five(buffer, '0');
}

std::vector<std::uint8_t> build_status_response(const TerminalStatus& status,
                                                std::uint8_t download_state) {
    namespace at = status_offset;
    std::vector<std::uint8_t> field(kStatusResponseSize, 0);
    // Head of the manufacturer data object: tag, length of what follows, maker and model.
    field[0] = 0x46;
    field[1] = static_cast<std::uint8_t>(kStatusResponseSize - 4);
    put_text(field, 2, "HLVTERM001");

    if (status.app_encoding == VersionEncoding::Binary) {
        field[at::kAppMarker] = kBinaryVersionMarker;
        field[at::kAppMajor] = status.app_major;
        field[at::kAppMinor] = status.app_minor;
    } else {
        put_text(field, at::kAppMarker, application_version_text(status));
    }
    if (status.fw_encoding == VersionEncoding::Binary) {
        field[at::kFwMarker] = kBinaryVersionMarker;
        field[at::kFwMajor] = status.fw_major;
        field[at::kFwMinor] = status.fw_minor;
        field[at::kFwBuild] = status.fw_build;
    } else {
        put_text(field, at::kFwMarker, firmware_version_text(status));
    }
    field[at::kRecordsHigh] = static_cast<std::uint8_t>(status.stored_records >> 8);
    field[at::kRecordsLow] = static_cast<std::uint8_t>(status.stored_records & 0xFF);
    field[at::kDownloadState] = download_state;
    field[at::kReadiness] = status.readiness;
    std::copy(status.identification.begin(), status.identification.end(),
              field.begin() + at::kIdentification);
    field[at::kStatusWord] = static_cast<std::uint8_t>(status.status_word >> 8);
    field[at::kStatusWord + 1] = static_cast<std::uint8_t>(status.status_word & 0xFF);
    return field;
}

} // namespace sim
