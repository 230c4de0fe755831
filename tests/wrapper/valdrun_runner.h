#pragma once
// Runs the real Valdrun program as an installer would: a copy of it in a test folder, with
// the reader description beside it, and the environment of the test run (its runtime folder
// that folder).
#include "tests/common/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace valdrun_test {

// Copies Valdrun into `folder` (once) and runs `Valdrun <arguments>` there; the exit code.
inline int run_valdrun(const std::filesystem::path& folder, const std::string& arguments,
                       const std::map<std::string, std::string>& env = {}) {
    const auto program = folder / "Valdrun";
    if (!std::filesystem::exists(program))
        std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR) / "Valdrun", program);
    // The stop record goes to the runtime folder: the test's own.
    std::string command = "cd '" + folder.string() +
                          "' && env MORLIN_UI=console MORLIN_RUNTIME_FOLDER='" + folder.string() +
                          "'";
    for (const auto& [name, value] : env)
        command += " " + name + "='" + value + "'";
    command += " ./Valdrun " + arguments + " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace valdrun_test
