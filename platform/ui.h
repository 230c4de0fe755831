#pragma once
// The user-interface port: message boxes, the wait window and file dialogs behind one
// interface. Implementations: the toolkit's (dialogs), the console's (no display, or
// MORLIN_UI=console) and a scripted one for tests.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MessageIcon { Error, Warning, Information, Question, None };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // Index of the default button among the buttons shown (0 = first), as MB_DEFBUTTONn.
    int default_button = 0;
};

struct FileDialogRequest {
    std::string title;
    std::string initial_directory;
    std::string initial_name;
    // Filter pairs as Windows writes them: {"Firmware files (*.bin)", "*.bin"}, ...
    std::vector<std::pair<std::string, std::string>> filters;
    std::string default_extension;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    virtual MessageAnswer message_box(const MessageBoxRequest& request) = 0;
    // A modeless "please wait" window; hide_wait closes it. Showing twice replaces the text.
    virtual void show_wait(std::string_view text) = 0;
    virtual void hide_wait() = 0;
    // Full path chosen, or nothing when cancelled.
    virtual std::optional<std::string> open_file(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> save_file(const FileDialogRequest& request) = 0;
};

// The answer a box gives when the user just presses Enter: its default button.
MessageAnswer default_answer(MessageButtons buttons, int default_button);

// The process-wide port. Until one is installed, the console implementation is used when
// there is no display or MORLIN_UI=console (the toolkit one is installed by the UI layer).
UserInterface& user_interface();
// Installs a port (tests install a scripted one); null restores the default. Returns the old.
std::shared_ptr<UserInterface> install_user_interface(std::shared_ptr<UserInterface> ui);

// Console implementation. Each message box writes one line to standard error:
//   MSGBOX <icon> <buttons> [<caption>] <text> => <answer>
// (line breaks in the text written as "\n"); answers come in order from MORLIN_UI_ANSWERS
// ("yes,no,..."), then the default button.
std::shared_ptr<UserInterface> make_console_user_interface();

// Scripted implementation for tests: answers from a queue, records every request.
class ScriptedUserInterface : public UserInterface {
public:
    std::vector<MessageAnswer> answers;          // taken from the front; then the default
    std::vector<MessageBoxRequest> boxes;        // every box shown
    std::vector<std::string> wait_texts;         // every show_wait text
    std::vector<std::optional<std::string>> file_answers; // taken from the front
    std::vector<FileDialogRequest> file_requests;
    bool wait_visible = false;

    MessageAnswer message_box(const MessageBoxRequest& request) override;
    void show_wait(std::string_view text) override;
    void hide_wait() override;
    std::optional<std::string> open_file(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
};

} // namespace platform
