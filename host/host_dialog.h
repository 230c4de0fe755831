#pragma once
// A dialog of Morlin with the host's system menu: Help (unless DISABLEHELP) and About.
#include "ui/dialog.h"

namespace morlin {

class MorlinApp;

class HostDialog : public dialogs::Dialog {
  public:
    HostDialog(MorlinApp& app, int template_id, int width, int height);
    void menu_command(int command) override;

  protected:
    // Puts the host's entries into the system menu (during the dialog's set-up).
    void set_host_system_menu();
    // A host error in a box (string 14 as caption).
    void show_error(int code);

    MorlinApp& app_;
};

} // namespace morlin
