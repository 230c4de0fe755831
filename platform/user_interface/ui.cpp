// The process-wide user-interface port and the helpers every implementation shares.
#include "platform/user_interface/ui.h"

#include "platform/winapi/library.h"

#include <array>
#include <span>

namespace platform {
namespace {

std::mutex g_port_mutex;
std::shared_ptr<UserInterface> g_port;
// Tells this copy of the layer from the copies inside plug-ins (internal, never interposed).
const char g_this_copy = 0;

// The answers of each button set, in button order.
std::span<const MessageAnswer> answers_of(MessageButtons buttons) {
    static constexpr std::array<MessageAnswer, 1> ok = {MessageAnswer::Ok};
    static constexpr std::array<MessageAnswer, 2> ok_cancel = {MessageAnswer::Ok,
                                                               MessageAnswer::Cancel};
    static constexpr std::array<MessageAnswer, 2> yes_no = {MessageAnswer::Yes, MessageAnswer::No};
    static constexpr std::array<MessageAnswer, 3> yes_no_cancel = {
        MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Cancel};
    switch (buttons) {
    case MessageButtons::OkCancel:
        return ok_cancel;
    case MessageButtons::YesNo:
        return yes_no;
    case MessageButtons::YesNoCancel:
        return yes_no_cancel;
    case MessageButtons::Ok:
        break;
    }
    return ok;
}

} // namespace

std::string with_default_extension(std::string_view path, std::string_view extension) {
    const auto separator = path.find_last_of("/\\");
    const std::string_view name =
        separator == std::string_view::npos ? path : path.substr(separator + 1);
    if (extension.empty() || name.empty() || name.find('.') != std::string_view::npos) {
        return std::string(path);
    }
    return std::string(path) + "." + std::string(extension);
}

MessageAnswer default_answer(MessageButtons buttons, int default_button) {
    auto answers = answers_of(buttons);
    if (default_button < 0 || static_cast<std::size_t>(default_button) >= answers.size()) {
        return answers.front(); // as Windows: an out-of-range default is the first button
    }
    return answers[static_cast<std::size_t>(default_button)];
}

bool offers_answer(MessageButtons buttons, MessageAnswer answer) {
    for (MessageAnswer offered : answers_of(buttons)) {
        if (offered == answer) {
            return true;
        }
    }
    return false;
}

const char* icon_name(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return "error";
    case MessageIcon::Warning:
        return "warning";
    case MessageIcon::Information:
        return "information";
    case MessageIcon::Question:
        return "question";
    case MessageIcon::None:
        break;
    }
    return "none";
}

const char* buttons_name(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return "okcancel";
    case MessageButtons::YesNo:
        return "yesno";
    case MessageButtons::YesNoCancel:
        return "yesnocancel";
    case MessageButtons::Ok:
        break;
    }
    return "ok";
}

const char* answer_name(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Cancel:
        return "cancel";
    case MessageAnswer::Yes:
        return "yes";
    case MessageAnswer::No:
        return "no";
    case MessageAnswer::Ok:
        break;
    }
    return "ok";
}

std::shared_ptr<UserInterface> user_interface() {
    std::lock_guard lock(g_port_mutex);
    if (g_port) {
        return g_port;
    }
    // A plug-in carries its own copy of this layer: it shows its boxes through the port of the
    // program that loaded it, when that program publishes one, so the user sees one interface.
    using Publisher = void (*)(const void*, std::shared_ptr<UserInterface>*);
    auto publisher = reinterpret_cast<Publisher>(program_symbol(kProgramUserInterfaceSymbol));
    if (publisher != nullptr) {
        std::shared_ptr<UserInterface> program_port;
        publisher(&g_this_copy, &program_port);
        if (program_port) {
            return program_port;
        }
    }
    // Until the UI layer installs its port, the platform's default serves.
    g_port = make_default_user_interface();
    return g_port;
}

std::shared_ptr<UserInterface> install_user_interface(std::shared_ptr<UserInterface> ui) {
    std::lock_guard lock(g_port_mutex);
    std::swap(g_port, ui);
    return ui;
}

} // namespace platform

extern "C" void morlin_program_user_interface(const void* asking_copy,
                                              std::shared_ptr<platform::UserInterface>* port) {
    // The program asking itself gets nothing (it then uses its own port, without recursion).
    if (port == nullptr || asking_copy == &platform::g_this_copy) {
        return;
    }
    *port = platform::user_interface();
}
