#include "host/dialogs/morlin_dialog.h"

#include "host/dialogs/about_box.h"
#include "host/dialogs/system_menu.h"
#include "host/morlin_app.h"

#include <algorithm>

namespace morlin {

namespace {
constexpr int kStrCancelQuestion = 32;
} // namespace

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

void MorlinDialog::set_texts(std::initializer_list<std::pair<int, int>> control_and_string) {
    for (const auto& [id, string] : control_and_string) {
        set_text(id, app_.texts.text(string));
    }
}

void MorlinDialog::show_error(int code) {
    app_.show_host_error(HostError::host(code));
}

bool MorlinDialog::confirm_cancel() {
    platform::MessageBoxRequest box;
    box.text = app_.texts.text_or_number(kStrCancelQuestion);
    box.caption = app_.message_caption();
    box.icon = platform::MessageIcon::Warning;
    box.buttons = platform::MessageButtons::YesNo;
    return message_box(box) == platform::MessageAnswer::Yes;
}

void MorlinDialog::show_progress(int bar, int status, int steps, const std::string& text) {
    if (steps > 0) {
        // Any step count moves the bar at most to its end, without overflowing.
        const long long moved = static_cast<long long>(control(bar).position) + steps;
        set_position(bar, static_cast<int>(std::min<long long>(moved, 100)));
    } else if (steps == 0) {
        set_position(bar, 0);
    }
    set_text(status, text);
}

} // namespace morlin
