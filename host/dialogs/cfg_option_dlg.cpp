#include "host/dialogs/cfg_option_dlg.h"

#include "host/dialogs/cfg_edit_lists.h"
#include "host/morlin_app.h"

namespace morlin {

namespace {

using dialogs::ControlKind;

constexpr int kStrNumberKind = 2;
constexpr int kStrYesNoKind = 5;
constexpr int kStrOk = 12;
constexpr int kStrValue = 18;
constexpr int kStrCancel = 27;
constexpr int kStrTitle = 34;
constexpr int kStrKindFrame = 41;
constexpr int kStrKey = 42;
constexpr int kErrNoRowSelected = 109;
constexpr int kErrDigitsOnly = 114;

constexpr int kKindBand = 30; // height of the kind buttons' frame and its gap

constexpr const char* kYes = "YES";
constexpr const char* kNo = "NO";

std::vector<std::vector<std::string>> one_column(const std::vector<std::string>& texts) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& text : texts) {
        rows.push_back({text});
    }
    return rows;
}

} // namespace

CfgOptionDlg::CfgOptionDlg(MorlinApp& app, OptionDlgMode mode, std::vector<ConfigOption>& rows,
                           int mark)
    : MorlinDialog(app, kTemplateCfgOption, 200,
                   mode == OptionDlgMode::Edit ? 104 - kKindBand : 104),
      mode_(mode), rows_(rows), mark_(mark) {
    // Edit mode has no kind buttons: the rest moves up into their band.
    const int top = mode == OptionDlgMode::Edit ? -kKindBand : 0;
    add(ControlKind::GroupBox, kIdKindFrame, {7, 4, 186, 26});
    add(ControlKind::RadioButton, kIdKindYesNo, {15, 15, 80, 10});
    add(ControlKind::RadioButton, kIdKindNumber, {105, 15, 80, 10});
    add(ControlKind::Static, kIdKeyLabel, {7, top + 40, 48, 10});
    add(ControlKind::DropDown, kIdKeyChoice, {58, top + 38, 135, 13});
    add(ControlKind::Edit, kIdKeyField, {58, top + 38, 135, 13});
    add(ControlKind::Static, kIdValueLabel, {7, top + 59, 48, 10});
    add(ControlKind::DropDown, kIdValueChoice, {58, top + 57, 135, 13});
    add(ControlKind::Edit, kIdValueField, {58, top + 57, 135, 13}).read_only = false;
    add(ControlKind::Button, kIdOptionOk, {69, top + 82, 60, 15}).default_button = true;
    add(ControlKind::Button, kIdOptionCancel, {133, top + 82, 60, 15});
}

void CfgOptionDlg::on_initialise() {
    set_morlin_system_menu();
    set_texts({{kIdKindFrame, kStrKindFrame},
               {kIdKindYesNo, kStrYesNoKind},
               {kIdKindNumber, kStrNumberKind},
               {kIdKeyLabel, kStrKey},
               {kIdValueLabel, kStrValue},
               {kIdOptionOk, kStrOk},
               {kIdOptionCancel, kStrCancel}});
    set_title(app_.texts.text(kStrTitle));
    if (mode_ == OptionDlgMode::Edit) {
        start_edit_mode();
    } else {
        start_add_mode();
    }
}

void CfgOptionDlg::start_add_mode() {
    show(kIdKeyChoice, true);
    show(kIdKeyField, false);
    set_rows(kIdValueChoice, one_column({kYes, kNo}));
    select(kIdValueChoice, 0);
    choose_kind(OptionKind::YesNo);
}

void CfgOptionDlg::start_edit_mode() {
    if (mark_ < 0 || mark_ >= static_cast<int>(rows_.size())) {
        show_error(kErrNoRowSelected);
        end(dialogs::kEndCancel);
        return;
    }
    const ConfigOption& row = rows_[static_cast<std::size_t>(mark_)];
    set_text(kIdKeyField, row.key);
    enable(kIdKeyField, false);
    for (int id : {kIdKindFrame, kIdKindYesNo, kIdKindNumber, kIdKeyChoice}) {
        show(id, false);
    }
    // Only exactly "YES" or "NO" is chosen from the list; any other text is edited freely.
    const bool yes_no = row.value == kYes || row.value == kNo;
    show(kIdValueChoice, yes_no);
    show(kIdValueField, !yes_no);
    if (yes_no) {
        set_rows(kIdValueChoice, one_column({kYes, kNo}));
        select(kIdValueChoice, row.value == kYes ? 0 : 1);
    } else {
        set_text(kIdValueField, row.value);
    }
}

void CfgOptionDlg::choose_kind(OptionKind kind) {
    kind_ = kind;
    const bool number = kind == OptionKind::Number;
    set_checked(kIdKindYesNo, !number);
    set_checked(kIdKindNumber, number);
    show(kIdValueField, number);
    show(kIdValueChoice, !number);
    std::vector<std::string> used;
    for (const ConfigOption& row : rows_) {
        used.push_back(row.key);
    }
    set_rows(kIdKeyChoice, one_column(offered_option_keys(kind, used)));
    select(kIdKeyChoice, 0);
    const bool any = !control(kIdKeyChoice).rows.empty();
    for (int id : {kIdKeyChoice, kIdValueField, kIdValueChoice}) {
        enable(id, any);
    }
}

void CfgOptionDlg::clicked(int id) {
    switch (id) {
    case kIdKindYesNo:
        choose_kind(OptionKind::YesNo);
        break;
    case kIdKindNumber:
        choose_kind(OptionKind::Number);
        break;
    case kIdOptionOk:
        apply();
        end(dialogs::kEndOk);
        break;
    case kIdOptionCancel:
        close();
        break;
    default:
        break;
    }
}

void CfgOptionDlg::text_typed(int id, std::string_view text) {
    if (id == kIdValueField && !value_text_allowed(text)) {
        show_error(kErrDigitsOnly);
        set_text(kIdValueField, "");
    }
}

void CfgOptionDlg::close() {
    end(dialogs::kEndOk);
}

std::string CfgOptionDlg::chosen_value() const {
    const dialogs::Control* choice = find(kIdValueChoice);
    if (choice->visible) {
        const int row = choice->selection;
        return row < 0 ? std::string() : choice->rows[static_cast<std::size_t>(row)].front();
    }
    return text(kIdValueField);
}

void CfgOptionDlg::apply() {
    if (mode_ == OptionDlgMode::Edit) {
        rows_[static_cast<std::size_t>(mark_)].value = chosen_value();
        return;
    }
    const dialogs::Control* keys = find(kIdKeyChoice);
    if (!keys->enabled || keys->selection < 0) {
        return;
    }
    const std::string value = chosen_value();
    if (!value.empty()) {
        rows_.push_back({keys->rows[static_cast<std::size_t>(keys->selection)].front(), value});
    }
}

} // namespace morlin
