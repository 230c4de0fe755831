#pragma once
// What Morlin's windows share: the program they belong to, and their system menu (Help
// unless DISABLEHELP, About) with its two commands; texts by number, the host's error boxes,
// and what a window with a download worker needs (the cancel question, the progress bar).
#include "ui/dialog.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace morlin {

class MorlinApp;

class MorlinDialog : public dialogs::Dialog {
  public:
    MorlinDialog(MorlinApp& app, int template_id, int width, int height)
        : Dialog(template_id, width, height), app_(app) {}
    // 16: the About box; 57667: the program's help.
    void menu_command(int command) override;

  protected:
    // Sets the system menu after the DISABLEHELP setting.
    void set_morlin_system_menu();
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
