#pragma once
// The configuration editor's option dialog: adds an option (add mode: kind, key from the keys
// not yet used, value) or changes the value of the selected option (edit mode). It works on
// the editor's option rows, handed to it.
//
// Cancel and Escape apply nothing, and the dialog still ends with OK (the editor then marks
// changes after an Edit). Edit with no row ever selected shows error 109 and ends with
// cancel at once.
#include "host/config/config_file.h"
#include "host/config/host_options.h"
#include "host/dialogs/morlin_dialog.h"

#include <vector>

namespace morlin {

enum CfgOptionControl : int {
    kIdOptionOk = 1,
    kIdOptionCancel = 2,
    kIdKindFrame = 1070,
    kIdKindYesNo = 1071,
    kIdKindNumber = 1072,
    kIdKeyLabel = 1073,
    kIdKeyChoice = 1074,
    kIdKeyField = 1075,
    kIdValueLabel = 1076,
    kIdValueChoice = 1077,
    kIdValueField = 1078,
};
inline constexpr int kTemplateCfgOption = 135;

enum class OptionDlgMode { Add, Edit };

class CfgOptionDlg final : public MorlinDialog {
  public:
    // `rows` are the editor's option rows; `mark` is the option list's selection mark (the
    // row last selected, -1 none), the row that edit mode changes.
    CfgOptionDlg(MorlinApp& app, OptionDlgMode mode, std::vector<ConfigOption>& rows, int mark);

    void clicked(int id) override;
    void text_typed(int id, std::string_view text) override;
    void close() override;

  protected:
    void on_initialise() override;

  private:
    void start_add_mode();
    void start_edit_mode();
    void choose_kind(OptionKind kind);
    void apply();
    std::string chosen_value() const;

    OptionDlgMode mode_;
    std::vector<ConfigOption>& rows_;
    int mark_;
    OptionKind kind_ = OptionKind::YesNo;
};

} // namespace morlin
