#pragma once
// The user-interface port while dialogs run: message boxes and file dialogs asked for on
// another thread (a worker, a plug-in called by it) are shown on the dialog thread while the
// asking thread waits; asked for on the dialog thread they are shown at once.
#include "platform/user_interface/ui.h"

#include <functional>
#include <memory>
#include <thread>

namespace dialogs {

using DialogThreadInvoker = std::function<void(const std::function<void()>&)>;

class DialogThreadPort final : public platform::UserInterface {
  public:
    DialogThreadPort(std::shared_ptr<platform::UserInterface> inner, DialogThreadInvoker invoke);

    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override;
    void show_wait(std::string_view text) override;
    void hide_wait() override;
    std::optional<std::string> open_file(const platform::FileDialogRequest& request) override;
    std::optional<std::string> save_file(const platform::FileDialogRequest& request) override;

  private:
    template <typename Call> auto on_dialog_thread(Call call) -> decltype(call());

    std::shared_ptr<platform::UserInterface> inner_;
    DialogThreadInvoker invoke_;
    std::thread::id dialog_thread_;
};

// Installs a DialogThreadPort around the current port for its lifetime (the outermost
// modal dialog), and puts the old port back afterwards.
class ScopedDialogThreadPort {
  public:
    explicit ScopedDialogThreadPort(DialogThreadInvoker invoke);
    ~ScopedDialogThreadPort();
    ScopedDialogThreadPort(const ScopedDialogThreadPort&) = delete;
    ScopedDialogThreadPort& operator=(const ScopedDialogThreadPort&) = delete;

  private:
    std::shared_ptr<platform::UserInterface> previous_;
};

} // namespace dialogs
