#include "host/dialogs/cfg_edt_dlg.h"

#include "host/dialogs/arrow_bitmaps.h"
#include "host/dialogs/cfg_option_dlg.h"
#include "host/host_log.h"
#include "host/morlin_app.h"

namespace morlin {

namespace {

using dialogs::ControlKind;

constexpr const char* kSource = "CfgEdtDlg";
constexpr int kStrClose = 11;
constexpr int kStrOptionFrame = 22;
constexpr int kStrEditButton = 26;
constexpr int kStrFileFrame = 29;
constexpr int kStrTitle = 34;
constexpr int kStrAddButton = 38;
constexpr int kStrDeleteButton = 39;
constexpr int kStrSaveButton = 40;
constexpr int kStrSaveQuestion = 115;
constexpr int kErrNoRowSelected = 109;

} // namespace

CfgEdtDlg::CfgEdtDlg(MorlinApp& app) : MorlinDialog(app, kTemplateCfgEdt, 300, 214) {
    add(ControlKind::GroupBox, kIdOptionFrame, {7, 4, 286, 90});
    dialogs::Control& options = add(ControlKind::ListView, kIdOptionList, {14, 16, 205, 70});
    options.columns = {"Option", "Value"};
    add(ControlKind::Button, kIdOptionAdd, {225, 16, 61, 15});
    add(ControlKind::Button, kIdOptionEdit, {225, 35, 61, 15});
    add(ControlKind::Button, kIdOptionDelete, {225, 54, 61, 15});
    add(ControlKind::GroupBox, kIdFileFrame, {7, 99, 286, 90});
    dialogs::Control& files = add(ControlKind::ListView, kIdFileList, {14, 111, 205, 70});
    files.columns = {"Download files"};
    files.check_boxes = true;
    dialogs::Control& up = add(ControlKind::Button, kIdFileUp, {225, 111, 24, 22}, "Up");
    up.picture = program_bitmap("IDB_UP_ARROWU");
    up.pressed_picture = program_bitmap("IDB_UP_ARROWD");
    dialogs::Control& down = add(ControlKind::Button, kIdFileDown, {225, 137, 24, 22}, "Down");
    down.picture = program_bitmap("IDB_DOWN_ARROWU");
    down.pressed_picture = program_bitmap("IDB_DOWN_ARROWD");
    add(ControlKind::Button, kIdEditorSave, {164, 194, 61, 15});
    add(ControlKind::Button, kIdEditorClose, {232, 194, 61, 15});
}

void CfgEdtDlg::on_initialise() {
    set_morlin_system_menu();
    set_texts({{kIdOptionFrame, kStrOptionFrame},
               {kIdFileFrame, kStrFileFrame},
               {kIdOptionAdd, kStrAddButton},
               {kIdOptionEdit, kStrEditButton},
               {kIdOptionDelete, kStrDeleteButton},
               {kIdEditorSave, kStrSaveButton},
               {kIdEditorClose, kStrClose}});
    set_title(app_.texts.text(kStrTitle));
    // The reader fills the lists; a file it cannot read ends the editor (the reader has
    // reported why).
    if (read_configuration(app_, this) == 0) {
        end(dialogs::kEndCancel);
        return;
    }
    changes_ = false;
}

// --- what the reader tells ----------------------------------------------------------------

void CfgEdtDlg::before_first_record() {
    show_files(first_listed_rows(listed_firmware_files("")), -1);
}

void CfgEdtDlg::option_read(std::string_view key, std::string_view value) {
    std::vector<ConfigOption> rows = option_rows();
    rows.push_back({std::string(key), std::string(value)});
    show_options(rows, -1);
}

void CfgEdtDlg::download_section_read(const std::vector<std::string>& files) {
    show_files(download_file_rows(files, listed_firmware_files("")), -1);
}

void CfgEdtDlg::symlink_read(std::string_view value) {
    symlink_ = std::string(value);
}

// --- the lists ------------------------------------------------------------------------------

std::vector<ConfigOption> CfgEdtDlg::option_rows() const {
    std::vector<ConfigOption> rows;
    for (const auto& columns : find(kIdOptionList)->rows) {
        rows.push_back({columns.at(0), columns.at(1)});
    }
    return rows;
}

std::vector<FileRow> CfgEdtDlg::file_rows() const {
    const dialogs::Control* list = find(kIdFileList);
    std::vector<FileRow> rows;
    for (std::size_t r = 0; r < list->rows.size(); ++r) {
        rows.push_back({list->rows[r].at(0), list->row_checked[r]});
    }
    return rows;
}

void CfgEdtDlg::show_options(const std::vector<ConfigOption>& rows, int selection) {
    std::vector<std::vector<std::string>> texts;
    for (const ConfigOption& row : rows) {
        texts.push_back({row.key, row.value});
    }
    set_rows(kIdOptionList, std::move(texts));
    select(kIdOptionList, selection);
}

void CfgEdtDlg::show_files(const std::vector<FileRow>& rows, int selection) {
    std::vector<std::vector<std::string>> texts;
    for (const FileRow& row : rows) {
        texts.push_back({row.name});
    }
    set_rows(kIdFileList, std::move(texts));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        set_row_checked(kIdFileList, static_cast<int>(r), rows[r].checked);
    }
    select(kIdFileList, selection);
}

// --- commands -----------------------------------------------------------------------------

void CfgEdtDlg::clicked(int id) {
    switch (id) {
    case kIdOptionAdd:
        run_option_dialog(true);
        break;
    case kIdOptionEdit:
        run_option_dialog(false);
        break;
    case kIdOptionDelete:
        delete_option();
        break;
    case kIdFileUp:
        move_file(-1);
        break;
    case kIdFileDown:
        move_file(1);
        break;
    case kIdEditorSave:
        save();
        break;
    case kIdEditorClose:
        close();
        break;
    default:
        break;
    }
}

void CfgEdtDlg::selection_changed(int id, int row) {
    if (id == kIdOptionList) {
        option_mark_ = row;
    } else if (id == kIdFileList) {
        changes_ = true; // every change notification of a file row counts, a click too
    }
}

void CfgEdtDlg::row_check_changed(int id, int /*row*/, bool /*checked*/) {
    if (id == kIdFileList) {
        changes_ = true;
    }
}

void CfgEdtDlg::run_option_dialog(bool add) {
    std::vector<ConfigOption> rows = option_rows();
    const std::size_t before = rows.size();
    CfgOptionDlg dialog(app_, add ? OptionDlgMode::Add : OptionDlgMode::Edit, rows, option_mark_);
    const int result = run_child(dialog);
    show_options(rows, option_mark_);
    // An inserted row marks changes; so does every Edit that ends with OK, also a cancelled one.
    if (rows.size() != before || (!add && result == dialogs::kEndOk)) {
        changes_ = true;
    }
}

void CfgEdtDlg::delete_option() {
    std::vector<ConfigOption> rows = option_rows();
    if (option_mark_ < 0 || option_mark_ >= static_cast<int>(rows.size())) {
        show_error(kErrNoRowSelected);
        return;
    }
    rows.erase(rows.begin() + option_mark_);
    option_mark_ = -1;
    show_options(rows, -1);
    changes_ = true;
}

void CfgEdtDlg::move_file(int by) {
    std::vector<FileRow> rows = file_rows();
    const int from = find(kIdFileList)->selection;
    const int to = from + by;
    if (from < 0 || to < 0 || to >= static_cast<int>(rows.size())) {
        return;
    }
    std::swap(rows[static_cast<std::size_t>(from)], rows[static_cast<std::size_t>(to)]);
    show_files(rows, to);
    changes_ = true;
}

void CfgEdtDlg::save() {
    platform::MessageBoxRequest box;
    box.text = app_.texts.text_or_number(kStrSaveQuestion);
    box.caption = app_.message_caption();
    box.icon = platform::MessageIcon::Question;
    box.buttons = platform::MessageButtons::YesNo;
    if (message_box(box) != platform::MessageAnswer::Yes) {
        return;
    }
    const ConfigContents contents = editor_contents(option_rows(), file_rows(), symlink_);
    if (!save_config_file(app_.config_file_path(), contents)) {
        // The old file stays whole (the new one replaces it only when written completely).
        host_log("%s(%i) :Error opening Morlin.cfg", kSource, 618);
        show_error(kStrConfigOpenFailed);
        return;
    }
    changes_ = false;
}

void CfgEdtDlg::close() {
    if (changes_) {
        save();
    }
    end(dialogs::kEndCancel);
}

} // namespace morlin
