#include "host/host_dialog.h"

#include "host/about_box.h"
#include "host/morlin_app.h"
#include "host/system_menu.h"

namespace morlin {

HostDialog::HostDialog(MorlinApp& app, int template_id, int width, int height)
    : Dialog(template_id, width, height), app_(app) {}

void HostDialog::menu_command(int command) {
    if (command == kMenuAbout) {
        AboutBox about(app_);
        run_child(about);
    } else if (command == kMenuHelp) {
        open_link(help_target());
    }
}

void HostDialog::set_host_system_menu() {
    set_system_menu(morlin_system_menu(app_.texts, app_.options.disable_help));
}

void HostDialog::show_error(int code) {
    app_.show_host_error(HostError::host(code));
}

} // namespace morlin
