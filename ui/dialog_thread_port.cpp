#include "ui/dialog_thread_port.h"

namespace dialogs {

namespace {
// A port that forwards to the process-wide one as it was when dialogs started (the console's
// default port is made on first use and has no shared owner to hand over).
class ForwardingPort final : public platform::UserInterface {
  public:
    explicit ForwardingPort(platform::UserInterface& target) : target_(target) {}
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        return target_.message_box(request);
    }
    void show_wait(std::string_view text) override { target_.show_wait(text); }
    void hide_wait() override { target_.hide_wait(); }
    std::optional<std::string> open_file(const platform::FileDialogRequest& request) override {
        return target_.open_file(request);
    }
    std::optional<std::string> save_file(const platform::FileDialogRequest& request) override {
        return target_.save_file(request);
    }

  private:
    platform::UserInterface& target_;
};
} // namespace

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
    platform::UserInterface& current = platform::user_interface();
    auto inner = std::make_shared<ForwardingPort>(current);
    previous_ = platform::install_user_interface(
        std::make_shared<DialogThreadPort>(std::move(inner), std::move(invoke)));
}

ScopedDialogThreadPort::~ScopedDialogThreadPort() {
    platform::install_user_interface(std::move(previous_));
}

} // namespace dialogs
