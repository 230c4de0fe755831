#include "ui/dialog_thread_port.h"

namespace dialogs {

DialogThreadPort::DialogThreadPort(std::shared_ptr<platform::UserInterface> inner,
                                   DialogThreadInvoker invoke)
    : inner_(std::move(inner)), invoke_(std::move(invoke)),
      dialog_thread_(std::this_thread::get_id()) {}

template <typename Call> auto DialogThreadPort::on_dialog_thread(Call call) -> decltype(call()) {
    if (std::this_thread::get_id() == dialog_thread_) {
        return call();
    }
    if constexpr (std::is_void_v<decltype(call())>) {
        invoke_([&] { call(); });
    } else {
        decltype(call()) answer{};
        invoke_([&] { answer = call(); });
        return answer;
    }
}

platform::MessageAnswer DialogThreadPort::message_box(const platform::MessageBoxRequest& request) {
    return on_dialog_thread([&] { return inner_->message_box(request); });
}

void DialogThreadPort::show_wait(std::string_view text) {
    on_dialog_thread([&] { inner_->show_wait(text); });
}

void DialogThreadPort::hide_wait() {
    on_dialog_thread([&] { inner_->hide_wait(); });
}

std::optional<std::string> DialogThreadPort::open_file(const platform::FileDialogRequest& request) {
    return on_dialog_thread([&] { return inner_->open_file(request); });
}

std::optional<std::string> DialogThreadPort::save_file(const platform::FileDialogRequest& request) {
    return on_dialog_thread([&] { return inner_->save_file(request); });
}

ScopedDialogThreadPort::ScopedDialogThreadPort(DialogThreadInvoker invoke) {
    // The port in use when the dialogs start keeps serving, on the dialog thread.
    previous_ = platform::install_user_interface(
        std::make_shared<DialogThreadPort>(platform::user_interface(), std::move(invoke)));
}

ScopedDialogThreadPort::~ScopedDialogThreadPort() {
    platform::install_user_interface(std::move(previous_));
}

} // namespace dialogs
