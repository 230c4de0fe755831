// The port used until the UI layer installs one: the console, with or without a display (the
// toolkit's port is installed by the dialogs' layer when a display is there).
#include "platform/user_interface/ui.h"

#include <unistd.h>

namespace platform {

std::shared_ptr<UserInterface> make_default_user_interface() {
    return make_console_user_interface();
}

bool standard_input_is_terminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

} // namespace platform
