// The console user interface: one line on standard error per prompt, answers from the
// environment (MORLIN_UI_ANSWERS, MORLIN_UI_FILES), for runs without a display.
#include "platform/files/files.h"
#include "platform/user_interface/ui.h"

#include <cstdlib>
#include <deque>

namespace platform {
namespace {

std::deque<std::string> split_list(const char* variable) {
    std::deque<std::string> items;
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        return items;
    }
    std::string_view rest(value);
    while (true) {
        auto comma = rest.find(',');
        items.emplace_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) {
            return items;
        }
        rest.remove_prefix(comma + 1);
    }
}

// A text on one line: line feeds as "\n", carriage returns dropped.
std::string one_line(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::optional<MessageAnswer> parse_answer(std::string_view word) {
    for (MessageAnswer answer :
         {MessageAnswer::Ok, MessageAnswer::Cancel, MessageAnswer::Yes, MessageAnswer::No}) {
        if (word == answer_name(answer)) {
            return answer;
        }
    }
    return std::nullopt;
}

// A typed answer: a button's name or its first letter, letter case ignored.
std::optional<MessageAnswer> typed_answer(std::string_view line, MessageButtons buttons) {
    std::string word;
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    for (MessageAnswer answer :
         {MessageAnswer::Ok, MessageAnswer::Cancel, MessageAnswer::Yes, MessageAnswer::No}) {
        const std::string_view name = answer_name(answer);
        if (offers_answer(buttons, answer) && (word == name || word == name.substr(0, 1))) {
            return answer;
        }
    }
    return std::nullopt;
}

class ConsoleUserInterface final : public UserInterface {
  public:
    ConsoleUserInterface(std::FILE* out, std::FILE* terminal)
        : out_(out), terminal_(terminal), answers_(split_list("MORLIN_UI_ANSWERS")),
          files_(split_list("MORLIN_UI_FILES")) {}

    MessageAnswer message_box(const MessageBoxRequest& request) override {
        std::lock_guard lock(mutex_);
        MessageAnswer answer = default_answer(request.buttons, request.default_button);
        if (!answers_.empty()) {
            std::string word = std::move(answers_.front());
            answers_.pop_front();
            auto scripted = parse_answer(word);
            if (scripted && offers_answer(request.buttons, *scripted)) {
                answer = *scripted;
            } else if (!word.empty() && word != "default") {
                write("UI-WARNING answer \"" + word + "\" is not one of the buttons " +
                      buttons_name(request.buttons) + "; default button " + answer_name(answer) +
                      " used");
            }
        } else if (terminal_ != nullptr) {
            answer = ask(request, answer);
        }
        write(std::string("MSGBOX ") + icon_name(request.icon) + ' ' +
              buttons_name(request.buttons) + " [" + one_line(request.caption) + "] " +
              one_line(request.text) + " => " + answer_name(answer));
        return answer;
    }

    void show_wait(std::string_view text) override {
        std::lock_guard lock(mutex_);
        wait_visible_ = true;
        write("WAIT " + one_line(text));
    }

    void hide_wait() override {
        std::lock_guard lock(mutex_);
        if (wait_visible_) {
            wait_visible_ = false;
            write("WAIT end");
        }
    }

    std::optional<std::string> open_file(const FileDialogRequest& request) override {
        return file_dialog("OPENFILE", request);
    }

    std::optional<std::string> save_file(const FileDialogRequest& request) override {
        return file_dialog("SAVEFILE", request);
    }

  private:
    // Shows the box on the terminal and reads the user's answer.
    MessageAnswer ask(const MessageBoxRequest& request, MessageAnswer default_button) {
        std::string buttons;
        for (MessageAnswer answer :
             {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Ok, MessageAnswer::Cancel}) {
            if (offers_answer(request.buttons, answer)) {
                buttons += std::string(buttons.empty() ? "" : "/") + answer_name(answer);
            }
        }
        write(one_line(request.caption) + ": " + one_line(request.text));
        while (true) {
            std::fprintf(out_, "%s (Enter: %s)? ", buttons.c_str(), answer_name(default_button));
            std::fflush(out_);
            char line[256];
            if (std::fgets(line, sizeof line, terminal_) == nullptr) {
                std::fputc('\n', out_);
                terminal_ = nullptr; // nobody types any more
                return offers_answer(request.buttons, MessageAnswer::Cancel) ? MessageAnswer::Cancel
                                                                             : default_button;
            }
            const std::string_view typed(line);
            if (typed.find_first_not_of(" \t\r\n") == std::string_view::npos) {
                return default_button;
            }
            if (const auto answer = typed_answer(typed, request.buttons)) {
                return *answer;
            }
        }
    }

    std::optional<std::string> file_dialog(const char* kind, const FileDialogRequest& request) {
        std::lock_guard lock(mutex_);
        std::optional<std::string> chosen;
        if (!files_.empty()) {
            std::string entry = std::move(files_.front());
            files_.pop_front();
            if (!entry.empty() && entry != "cancel") {
                bool absolute = entry.front() == '/' || entry.front() == '\\';
                std::string folder = request.initial_directory.empty() ? current_directory()
                                                                       : request.initial_directory;
                chosen = absolute ? native_path(entry) : native_path(join_path(folder, entry));
                chosen = with_default_extension(*chosen, request.default_extension);
            }
        }
        write(std::string(kind) + " [" + one_line(request.title) + "] => " +
              (chosen ? one_line(*chosen) : std::string("cancel")));
        return chosen;
    }

    void write(const std::string& line) {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }

    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* terminal_; // where a user types answers; null when nobody does
    std::deque<std::string> answers_;
    std::deque<std::string> files_;
    bool wait_visible_ = false;
};

} // namespace

std::shared_ptr<UserInterface> make_console_user_interface() {
    return std::make_shared<ConsoleUserInterface>(stderr,
                                                  standard_input_is_terminal() ? stdin : nullptr);
}

std::shared_ptr<UserInterface> make_console_user_interface(std::FILE* out, std::FILE* terminal) {
    return std::make_shared<ConsoleUserInterface>(out != nullptr ? out : stderr, terminal);
}

} // namespace platform
