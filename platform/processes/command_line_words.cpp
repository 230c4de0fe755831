// Windows command-line words: the same on every platform.
#include "platform/processes/command_line_words.h"

namespace platform {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> command_line_words(std::string_view command_line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    int quotes = 0; // quotes of the current quoted part, modulo 3; odd: inside quotes
    std::size_t backslashes = 0;
    std::size_t i = 0;
    while (i < command_line.size()) {
        const char c = command_line[i];
        if (is_blank(c) && quotes == 0) {
            if (in_word) {
                words.push_back(std::move(word));
                word.clear();
                in_word = false;
            }
            backslashes = 0;
            ++i;
            continue;
        }
        in_word = true;
        if (c == '\\') {
            word += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c != '"') {
            word += c;
            backslashes = 0;
            ++i;
            continue;
        }
        // A quote: the backslashes before it are halved; an odd one out makes it literal.
        word.resize(word.size() - backslashes / 2);
        if (backslashes % 2 == 0) {
            ++quotes;
        } else {
            word.back() = '"';
        }
        backslashes = 0;
        ++i;
        // Further quotes in a row: every third one is a literal quote.
        while (i < command_line.size() && command_line[i] == '"') {
            if (++quotes == 3) {
                word += '"';
                quotes = 0;
            }
            ++i;
        }
        if (quotes == 2) {
            quotes = 0;
        }
    }
    if (in_word) {
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace platform
