#include "ui/console_actions.h"

#include "platform/files/files.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace dialogs {

namespace {

constexpr std::uint64_t kMaxActionFileBytes = 1024 * 1024;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The next blank-separated word of `rest`, taken off its front (what follows it stays whole).
std::string_view word(std::string_view& rest) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    const auto blank = rest.find_first_of(" \t");
    std::string_view found = rest.substr(0, blank);
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank);
    return found;
}

bool number(std::string_view text, int& value) {
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> items;
    while (true) {
        const auto at = text.find(separator);
        std::string_view item = trim(text.substr(0, at));
        if (!item.empty()) {
            items.emplace_back(item);
        }
        if (at == std::string_view::npos) {
            return items;
        }
        text.remove_prefix(at + 1);
    }
}

} // namespace

std::optional<Action> parse_action(std::string_view line, std::string* error) {
    std::string_view rest = line;
    const std::string_view verb = word(rest);
    Action action;
    const auto fail = [&](std::string reason) -> std::optional<Action> {
        if (error != nullptr) {
            *error = std::move(reason);
        }
        return std::nullopt;
    };
    struct Simple {
        std::string_view name;
        Action::Verb verb;
    };
    for (const Simple& simple :
         {Simple{"close", Action::Verb::Close}, Simple{"escape", Action::Verb::Escape},
          Simple{"enter", Action::Verb::Enter}, Simple{"wait", Action::Verb::Wait}}) {
        if (verb == simple.name) {
            if (!trim(rest).empty()) {
                return fail("\"" + std::string(verb) + "\" takes nothing after it");
            }
            action.verb = simple.verb;
            return action;
        }
    }
    struct WithId {
        std::string_view name;
        Action::Verb verb;
        bool row;
    };
    for (const WithId& with :
         {WithId{"click", Action::Verb::Click, false}, WithId{"menu", Action::Verb::Menu, false},
          WithId{"select", Action::Verb::Select, true}, WithId{"check", Action::Verb::Check, true},
          WithId{"type", Action::Verb::Type, false}}) {
        if (verb != with.name) {
            continue;
        }
        action.verb = with.verb;
        if (!number(word(rest), action.id)) {
            return fail("\"" + std::string(verb) + "\" needs a number");
        }
        if (with.row && !number(word(rest), action.row)) {
            return fail("\"" + std::string(verb) + "\" needs a control and a row number");
        }
        if (with.verb == Action::Verb::Type) {
            // The text is everything after the one blank that follows the number.
            if (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
                rest.remove_prefix(1);
            }
            if (!rest.empty() && rest.back() == '\r') {
                rest.remove_suffix(1);
            }
            action.text = std::string(rest);
        } else if (!trim(rest).empty()) {
            return fail("too many words after \"" + std::string(verb) + "\"");
        }
        return action;
    }
    return fail("unknown action \"" + std::string(verb) + "\"");
}

std::string quoted(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            // No control byte of a file or device name reaches the terminal as it is.
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

ActionSource::ActionSource() : terminal_(stdin_is_terminal()) {
    const char* value = std::getenv("MORLIN_UI_ACTIONS");
    if (value == nullptr || *value == '\0') {
        return;
    }
    // A file of actions is read only when it is a regular file: a pipe or a device name is not
    // waited on (it is taken as the actions themselves).
    if (const auto bytes = platform::read_file(value, kMaxActionFileBytes)) {
        listed_ = split(std::string(bytes->begin(), bytes->end()), '\n');
        return;
    }
    listed_ = split(value, ';');
}

ActionSource::ActionSource(std::vector<std::string> actions) : listed_(std::move(actions)) {}

std::optional<std::string> ActionSource::next(int wake_fd, const std::function<void()>& service) {
    if (next_listed_ < listed_.size()) {
        return listed_[next_listed_++];
    }
    if (!terminal_) {
        return std::nullopt;
    }
    return read_terminal(wake_fd, service);
}

} // namespace dialogs
