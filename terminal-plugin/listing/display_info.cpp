#include "display_info.h"

#include "terminal-plugin/fixed_text.h"
#include "version_text.h"

#include <array>
#include <cstring>

namespace vupporta {
namespace {

void set_label(DisplayRow& row, unsigned id, const Texts& texts) {
    copy_text(row.label, texts.text(id, kShortTextSize));
}

} // namespace

int fill_display_rows(std::string_view terminal_product, const StatusResponse& status,
                      const FirmwareImage* image, const Texts& texts, DisplayRow* rows) {
    int count = 0;
    DisplayRow& product = rows[count++];
    set_label(product, kProductLabel, texts);
    copy_text(product.device_value, terminal_product);
    if (image != nullptr) {
        copy_text(product.file_value, image->product());
    }

    if (image == nullptr || image->is_application()) {
        DisplayRow& row = rows[count++];
        set_label(row, kApplicationVersionLabel, texts);
        copy_text(row.device_value, status.application_version());
        if (image != nullptr) {
            copy_text(row.file_value, image->application_version());
        }
    }
    if (image == nullptr || image->is_firmware()) {
        DisplayRow& row = rows[count++];
        set_label(row, kFirmwareVersionLabel, texts);
        copy_text(row.device_value, status.firmware_version());
        if (image != nullptr) {
            copy_text(row.file_value, image->firmware_version());
        }
    }
    if (status.firmware_version_binary()) {
        DisplayRow& row = rows[count++];
        set_label(row, kIdentificationLabel, texts);
        const std::string identification = status.identification();
        copy_text(row.device_value, identification);
        if (image != nullptr && image->has_known_type()) {
            copy_text(row.file_value, identification);
        }
    }
    return count;
}

VUPResult display_info(SerialLink& link, const TerminalDetail* terminal, const char* path,
                       const Texts& texts, DisplayRow* rows) {
    std::optional<FirmwareImage> image;
    if (path != nullptr) {
        image = load_firmware_image(path);
        if (!image) {
            return VUP_ERR_FILE;
        }
    }
    if (terminal == nullptr || rows == nullptr) {
        return VUP_ERR_PORT;
    }
    VUPResult result = link.open(field_text(terminal->port_name));
    if (result != VUP_OK) {
        return result;
    }
    StatusResponse status;
    result = link.manufacturer_status(status);
    if (result == VUP_OK) {
        fill_display_rows(field_text(terminal->product_name), status, image ? &*image : nullptr,
                          texts, rows);
    }
    link.close();
    return result;
}

VUPResult filter_devices(SerialLink& link, DeviceInfoEntry* list, const char* path, bool iv_flag,
                         bool upgrade_only, const Texts& texts) {
    const auto image = load_firmware_image(path);
    if (!image) {
        return VUP_ERR_FILE;
    }
    if (list == nullptr) {
        return VUP_OK;
    }
    const int parts = image->is_firmware() ? 3 : 2;
    bool allowed_seen = false;
    bool older_seen = false;
    for (int index = 0; index < VUP_DEVICE_LIST_SIZE && list[index].name[0] != '\0'; ++index) {
        DeviceInfoEntry& entry = list[index];
        entry.candidate = 0;
        if (iv_flag) {
            entry.candidate = 1;
            continue;
        }
        if (image->product().empty()) {
            continue;
        }
        std::array<DisplayRow, VUP_DISPLAY_ROWS> rows{};
        if (display_info(link, terminal_at(list, index), path, texts, rows.data()) != VUP_OK) {
            continue;
        }
        if (field_text(entry.name).find(image->product()) == std::string_view::npos) {
            continue;
        }
        if (!upgrade_only) {
            entry.candidate = 1;
            allowed_seen = true;
            continue;
        }
        // The version row follows the product row. A version that does not read as numbers
        // (the terminal's text form) cannot show that the file is no downgrade: the terminal
        // is left out, as for an older file.
        const DisplayRow& version = rows[1];
        const VersionVerdict verdict = compare_versions(field_text(version.file_value),
                                                        field_text(version.device_value), parts);
        if (verdict == VersionVerdict::NotOlder) {
            entry.candidate = 1;
            allowed_seen = true;
        } else {
            older_seen = true;
        }
    }
    if (!allowed_seen && older_seen) {
        return image->is_firmware() ? VUP_ERR_FW_OLDER : VUP_ERR_APP_OLDER;
    }
    return VUP_OK;
}

} // namespace vupporta
