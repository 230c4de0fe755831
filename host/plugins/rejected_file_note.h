#pragma once
// The log line for a configured file that no plug-in accepts: the file, whether it exists
// and has bytes, and each plug-in's answer with its text.
#include <string>
#include <vector>

namespace morlin {

class MorlinApp;

// `answers` holds each bound plug-in's VUPIsBinaryValid answer, in table order.
std::string rejected_file_note(const MorlinApp& app, const std::string& file,
                               const std::vector<int>& answers);

} // namespace morlin
