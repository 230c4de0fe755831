#include "host/dialogs/dev_info.h"

#include "host/dialogs/dev_info_file.h"
#include "host/dialogs/device_choice.h"
#include "host/morlin_app.h"
#include "platform/foundation/last_error.h"

#include <memory>

namespace morlin {

namespace {

using dialogs::ControlKind;

constexpr int kStrClose = 11;
constexpr int kStrLabel = 17;
constexpr int kStrValue = 18;
constexpr int kStrDeviceColumn = 19;
constexpr int kStrFileColumn = 20;
constexpr int kStrFileModeText = 6;
constexpr int kStrDeviceModeText = 7;
constexpr int kStrSave = 40;
constexpr int kStrChoiceText = 48;
constexpr int kStrTitle = 49;

} // namespace

DevInfo::DevInfo(MorlinApp& app, DevInfoMode mode, DevInfoTarget target)
    : MorlinDialog(app, kTemplateDevInfo, 300, 208), mode_(mode), target_(std::move(target)) {
    const bool choice = mode_ == DevInfoMode::DeviceChoice;
    add(ControlKind::Static, kIdDevInfoChoiceText, {7, 7, 286, 10});
    add(ControlKind::DropDown, kIdDevInfoChoice, {7, 19, 286, 13});
    add(ControlKind::Static, kIdDevInfoText, {7, 7, 286, 10});
    add(ControlKind::ListView, kIdDevInfoRows,
        choice ? dialogs::Rect{7, 38, 286, 142} : dialogs::Rect{7, 20, 286, 160});
    add(ControlKind::Button, kIdDevInfoSave, {165, 187, 62, 15});
    add(ControlKind::Button, kIdDevInfoOk, {231, 187, 62, 15}).default_button = true;
}

void DevInfo::on_initialise() {
    const HostTexts& texts = app_.texts;
    set_morlin_system_menu();
    if (mode_ == DevInfoMode::File) {
        set_columns(kIdDevInfoRows, {texts.text(kStrLabel), texts.text(kStrDeviceColumn),
                                     texts.text(kStrFileColumn)});
        set_text(kIdDevInfoText, texts.text(kStrFileModeText));
    } else {
        set_columns(kIdDevInfoRows, {texts.text(kStrLabel), texts.text(kStrValue)});
        set_text(
            mode_ == DevInfoMode::DeviceChoice ? kIdDevInfoChoiceText : kIdDevInfoText,
            texts.text(mode_ == DevInfoMode::DeviceChoice ? kStrChoiceText : kStrDeviceModeText));
    }
    set_text(kIdDevInfoOk, texts.text(kStrClose));
    set_text(kIdDevInfoSave, texts.text(kStrSave));
    set_title(texts.text(kStrTitle));

    bool shown = false;
    if (mode_ == DevInfoMode::DeviceChoice) {
        show(kIdDevInfoText, false);
        std::vector<std::vector<std::string>> rows;
        for (std::string& text : distinct_device_texts(app_.plugins, app_.plugin_count, false)) {
            rows.push_back({std::move(text)});
        }
        if (rows.empty()) {
            app_.show_host_error(HostError::host(kStrNoDevices));
            end(dialogs::kEndCancel);
            return;
        }
        set_rows(kIdDevInfoChoice, std::move(rows));
        select(kIdDevInfoChoice, 0);
        choose_device(0);
        shown = query(nullptr);
    } else {
        for (int id : {kIdDevInfoChoice, kIdDevInfoSave, kIdDevInfoChoiceText}) {
            show(id, false);
        }
        shown = query(mode_ == DevInfoMode::File ? target_.file.c_str() : nullptr);
    }
    if (!shown) {
        end(dialogs::kEndCancel);
    }
}

void DevInfo::choose_device(int row) {
    std::vector<std::string> texts;
    for (const auto& columns : control(kIdDevInfoChoice).rows) {
        texts.push_back(columns.empty() ? std::string() : columns.front());
    }
    const DeviceRef device = device_for_row(app_.plugins, app_.plugin_count, texts, row);
    if (device.found()) {
        target_.plugin_index = device.plugin_index;
        target_.device_index = device.device_index;
        app_.current_plugin = &app_.plugins[static_cast<std::size_t>(device.plugin_index)];
        app_.current_plugin_index = device.plugin_index;
    }
}

bool DevInfo::query(const char* file) {
    if (target_.plugin_index < 0 || target_.plugin_index >= app_.plugin_count) {
        app_.show_host_error(HostError::host(kStrNoDevices));
        return false;
    }
    PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(target_.plugin_index)];
    // Room for 30 rows, zero-filled before each query.
    auto rows = std::make_unique<DisplayRow[]>(VUP_DISPLAY_ROWS);
    const int result = plugin.fn.get_display_info(
        plugin.devices.data(), static_cast<std::uint8_t>(target_.device_index), file, rows.get());
    if (result != 0) {
        app_.show_host_error(HostError::plugin(result, target_.plugin_index));
        return false;
    }
    const bool with_file = mode_ == DevInfoMode::File;
    std::vector<std::vector<std::string>> shown;
    for (int r = 0; r < VUP_DISPLAY_ROWS && rows[r].label[0] != '\0'; ++r) {
        std::vector<std::string> columns{field_text(rows[r].label, VUP_TEXT_SIZE),
                                         field_text(rows[r].device_value, VUP_TEXT_SIZE)};
        if (with_file) {
            columns.push_back(field_text(rows[r].file_value, VUP_TEXT_SIZE));
        }
        shown.push_back(std::move(columns));
    }
    set_rows(kIdDevInfoRows, std::move(shown));
    return true;
}

void DevInfo::clicked(int id) {
    if (id == kIdDevInfoOk) {
        end(dialogs::kEndOk);
    } else if (id == kIdDevInfoSave && mode_ == DevInfoMode::DeviceChoice) {
        save();
    }
}

void DevInfo::selection_changed(int id, int row) {
    if (id != kIdDevInfoChoice) {
        return;
    }
    const DevInfoTarget previous = target_;
    choose_device(row);
    if (!query(nullptr)) {
        target_ = previous; // the list keeps the rows it had
    }
}

void DevInfo::save() {
    platform::FileDialogRequest request;
    request.initial_name = "DevInfo.txt";
    request.default_extension = "ALL";
    request.filters = {{"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}};
    const std::optional<std::string> path = save_file(request);
    if (!path || path->empty()) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& columns : control(kIdDevInfoRows).rows) {
        rows.emplace_back(columns.empty() ? std::string() : columns[0],
                          columns.size() > 1 ? columns[1] : std::string());
    }
    const SaveResult saved = append_device_info(*path, platform::local_time(), rows);
    if (!saved.opened) {
        platform::MessageBoxRequest box;
        box.text = platform::system_message(platform::last_error());
        box.caption = "Morlin";
        box.icon = platform::MessageIcon::Error;
        message_box(box);
    }
}

} // namespace morlin
