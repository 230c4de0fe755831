#pragma once
// Where the console view takes the user's actions from: the list in MORLIN_UI_ACTIONS (a file
// with one action a line, or the actions themselves separated by ';'), then standard input
// when it is a terminal (with a "> " prompt on standard error). One source per process, shared
// by every dialog in turn.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dialogs {

struct Action {
    enum class Verb {
        Click,
        Select,
        Check,
        Type,
        Menu,
        Close,
        Escape,
        Enter,
        Wait
    } verb = Verb::Close;
    int id = 0;       // control id, or the menu command
    int row = 0;      // select, check
    std::string text; // type
};

// Parses one action line; nothing (and a reason in `error`) when it is not one.
std::optional<Action> parse_action(std::string_view line, std::string* error);

// Writes `text` in double quotes with '"' and '\' escaped, line feeds as \n, carriage
// returns as \r, every other control byte as \xNN (two lower-case hex digits).
std::string quoted(std::string_view text);

// Whether standard input is a terminal a user types at.
bool stdin_is_terminal();

class ActionSource {
  public:
    // From the environment and standard input.
    ActionSource();
    // From a fixed list (tests); no terminal.
    explicit ActionSource(std::vector<std::string> actions);

    // The next action line, or nothing at the end of input. While it waits for the terminal,
    // `wake_fd` becoming readable runs `service` (the dialog thread's tasks).
    std::optional<std::string> next(int wake_fd, const std::function<void()>& service);

  private:
    std::optional<std::string> read_terminal(int wake_fd, const std::function<void()>& service);

    std::vector<std::string> listed_;
    std::size_t next_listed_ = 0;
    bool terminal_ = false;
};

} // namespace dialogs
