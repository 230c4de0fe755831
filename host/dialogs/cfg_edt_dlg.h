#pragma once
// CfgEdtDlg, the configuration editor (course /CE): the options of Morlin.cfg with Add, Edit
// and Delete, and the firmware files of the current folder, checked when the Download section
// holds them, in download order (up and down buttons). Save writes the file after a question;
// closing with unsaved changes asks the same question first.
//
// The lists are filled by the configuration reader, which tells the editor what it reads
// (ConfigEditorHooks). The rows live in the list controls; the editor keeps only the
// unsaved-changes mark, the option list's selection mark and the SymLink record it loaded.
#include "host/config/config_reader.h"
#include "host/dialogs/cfg_edit_lists.h"
#include "host/dialogs/morlin_dialog.h"

#include <optional>
#include <string>
#include <vector>

namespace morlin {

enum CfgEdtControl : int {
    kIdEditorClose = 2,
    kIdOptionFrame = 1050,
    kIdOptionList = 1051,
    kIdOptionAdd = 1052,
    kIdOptionEdit = 1053,
    kIdOptionDelete = 1054,
    kIdFileFrame = 1055,
    kIdFileList = 1056,
    kIdFileUp = 1057,
    kIdFileDown = 1058,
    kIdEditorSave = 1059,
};
inline constexpr int kTemplateCfgEdt = 134;

class CfgEdtDlg final : public MorlinDialog, private ConfigEditorHooks {
  public:
    explicit CfgEdtDlg(MorlinApp& app);

    bool changes_marked() const { return changes_; }
    std::vector<ConfigOption> option_rows() const;
    std::vector<FileRow> file_rows() const;

    void clicked(int id) override;
    void selection_changed(int id, int row) override;
    void row_check_changed(int id, int row, bool checked) override;
    void close() override;

  protected:
    void on_initialise() override;

  private:
    // ConfigEditorHooks
    void before_first_record() override;
    void option_read(std::string_view key, std::string_view value) override;
    void download_section_read(const std::vector<std::string>& files) override;
    void symlink_read(std::string_view value) override;

    void show_options(const std::vector<ConfigOption>& rows, int selection);
    void show_files(const std::vector<FileRow>& rows, int selection);
    void run_option_dialog(bool add);
    void delete_option();
    void move_file(int by);
    void save();

    bool changes_ = false;
    int option_mark_ = -1;
    std::optional<std::string> symlink_;
};

} // namespace morlin
