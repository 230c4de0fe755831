// A plug-in-like library with its own copy of the platform layer: it asks a question through
// whatever user-interface port it finds.
#include "platform/user_interface/ui.h"

extern "C" __attribute__((visibility("default"))) int ui_probe_ask() {
    platform::MessageBoxRequest request;
    request.text = "Go on?";
    request.caption = "Probe";
    request.buttons = platform::MessageButtons::YesNo;
    request.default_button = 1;
    return platform::user_interface()->message_box(request) == platform::MessageAnswer::Yes ? 1 : 0;
}
