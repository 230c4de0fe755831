#include "host/morlin_dialog.h"

#include "host/about_box.h"
#include "host/morlin_app.h"
#include "host/system_menu.h"

namespace morlin {

void MorlinDialog::menu_command(int command) {
    if (command == kMenuAbout) {
        AboutBox about(app_);
        run_child(about);
    } else if (command == kMenuHelp) {
        open_link(help_target());
    }
}

void MorlinDialog::set_morlin_system_menu() {
    set_system_menu(morlin_system_menu(app_.texts, app_.options.disable_help));
}

} // namespace morlin
