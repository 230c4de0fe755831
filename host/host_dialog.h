#pragma once
// A dialog of Morlin: the host's system menu (Help unless DISABLEHELP, About), texts from the
// resource library by number, the host's error boxes, and what a dialog with a download
// worker shares (the cancel question, the progress callback's bar and text).
#include "ui/dialog.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace morlin {

class MorlinApp;

class HostDialog : public dialogs::Dialog {
  public:
    HostDialog(MorlinApp& app, int template_id, int width, int height);
    void menu_command(int command) override;

  protected:
    // Puts the host's entries into the system menu (during the dialog's set-up).
    void set_host_system_menu();
    // Each control's text: the resource string of that number.
    void set_texts(std::initializer_list<std::pair<int, int>> control_and_string);
    // A host error in a box (string 14 as caption).
    void show_error(int code);
    // The question whether to cancel the running update (string 32, Yes/No, warning).
    bool confirm_cancel();
    // The progress callback's work (dialog thread): steps > 0 advance the bar, 0 resets it,
    // negative moves nothing; the text is shown in every case.
    void show_progress(int bar, int status, int steps, const std::string& text);

    MorlinApp& app_;
};

} // namespace morlin
