#pragma once
// The user-interface port: message boxes, the wait window and file dialogs behind one
// interface. Implementations: the toolkit's (dialogs), the console's (no display, or
// MORLIN_UI=console) and a scripted one for tests.
#include <cstdio>
#include <memory>
#include <mutex>
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

// A chosen file name whose last component has no extension gets `extension` (as a file
// dialog does with its default extension); any other name is returned as it is.
std::string with_default_extension(std::string_view path, std::string_view extension);

// The answer a box gives when the user just presses Enter: its default button.
MessageAnswer default_answer(MessageButtons buttons, int default_button);

// The program's port, as published to the plug-ins it loads: a program exports this function
// (the symbol named kProgramUserInterfaceSymbol; Morlin is linked so that it does), and
// user_interface() in a plug-in that has no port of its own installed uses the port it hands
// out.
inline constexpr const char* kProgramUserInterfaceSymbol = "morlin_program_user_interface";

// The process-wide port, shared: a caller keeps it alive while it uses it, so a port that is
// replaced meanwhile (install_user_interface) is released only when its last user is done.
// Until one is installed, the console implementation is used when there is no display or
// MORLIN_UI=console (the toolkit one is installed by the UI layer).
[[nodiscard]] std::shared_ptr<UserInterface> user_interface();
// Installs a port (tests install a scripted one); null restores the default. Returns the old.
std::shared_ptr<UserInterface> install_user_interface(std::shared_ptr<UserInterface> ui);

// The port used until one is installed: the console on Linux; Win32 message boxes and file
// dialogs on Windows, or the console there too when MORLIN_UI=console.
std::shared_ptr<UserInterface> make_default_user_interface();
#ifdef _WIN32
// Windows: whether the console's dialogs and boxes are wanted instead of the system's:
// MORLIN_UI=console, or actions for the console's dialogs in MORLIN_UI_ACTIONS.
bool console_user_interface_wanted();
#endif

// Console implementation (no display, or MORLIN_UI=console). Each call writes one line to
// standard error:
//   MSGBOX <icon> <buttons> [<caption>] <text> => <answer>
//   WAIT <text>            WAIT end
//   OPENFILE [<title>] => <path or cancel>     SAVEFILE [<title>] => <path or cancel>
// icon: error warning information question none; buttons: ok okcancel yesno yesnocancel;
// answer: ok cancel yes no. In texts a line break is written as the two characters \n and a
// carriage return is dropped. Answers come in order from MORLIN_UI_ANSWERS ("yes,no,..."),
// then the box's default button; an empty entry or "default" takes the default button, and an
// answer the box does not offer is used up, replaced by the default and reported on a line
// "UI-WARNING ..." before the MSGBOX line. File dialogs take their answers in order from
// MORLIN_UI_FILES ("path,cancel,..."), then cancel; a relative path is taken relative to the
// dialog's initial directory (or the current directory), and a name without an extension gets
// the request's default extension. Both lists are read when the
// implementation is made. Thread-safe.
// When no scripted answer is left and standard input is a terminal, the user is asked: the
// box's caption, text and buttons on standard error, then one line is read (the button's name
// or its first letter, letter case ignored; an empty line is the default button; anything
// else asks again; the end of input is the box's Cancel, or its default button without one).
std::shared_ptr<UserInterface> make_console_user_interface();
// The same, writing its lines to `out` instead of standard error and taking typed answers
// from `terminal` (none: nobody types), for tests.
std::shared_ptr<UserInterface> make_console_user_interface(std::FILE* out,
                                                           std::FILE* terminal = nullptr);
// Whether standard input is a terminal a user types at.
bool standard_input_is_terminal();

// The console's spelling of icons, buttons and answers ("error", "yesno", "cancel").
const char* icon_name(MessageIcon icon);
const char* buttons_name(MessageButtons buttons);
const char* answer_name(MessageAnswer answer);
// True when a box with these buttons offers that answer.
bool offers_answer(MessageButtons buttons, MessageAnswer answer);

// Scripted implementation for tests: answers from a queue, records every request. An answer
// that the box does not offer gives the default button instead. Each call holds `mutex`; a
// test reads the fields after the code under test has finished, or under that lock.
class ScriptedUserInterface : public UserInterface {
  public:
    std::mutex mutex;
    std::vector<MessageAnswer> answers;                   // taken from the front; then the default
    std::vector<MessageBoxRequest> boxes;                 // every box shown
    std::vector<std::string> wait_texts;                  // every show_wait text
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

// Stores a share of the program's port in `*port`. `asking_copy` tells the caller's copy of
// the layer; the program's own copy gets nothing (`*port` stays empty).
#ifdef _WIN32
#define MORLIN_PROGRAM_EXPORT // exported by the program's .def file, not by every copy
#else
#define MORLIN_PROGRAM_EXPORT __attribute__((visibility("default")))
#endif
extern "C" MORLIN_PROGRAM_EXPORT void
morlin_program_user_interface(const void* asking_copy,
                              std::shared_ptr<platform::UserInterface>* port);
