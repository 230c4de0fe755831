#pragma once
// A Windows command line taken apart into its words by the rules the Windows shell's
// CommandLineToArgvW applies to the arguments after the program name: words are separated by
// blanks and tabs; double quotes group blanks into a word and are removed; 2n backslashes
// before a quote give n backslashes (the quote groups), 2n+1 give n and a literal quote;
// backslashes before anything else stay as they are; inside quotes, two quotes in a row end
// the quoted part and leave one literal quote.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::vector<std::string> command_line_words(std::string_view command_line);

} // namespace platform
