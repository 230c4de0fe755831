#pragma once
// What Morlin's windows share: the program they belong to, and their system menu (Help
// unless DISABLEHELP, About) with its two commands.
#include "ui/dialog.h"

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

    MorlinApp& app_;
};

} // namespace morlin
