#pragma once
// Starts the real Morlin program in a test's folder, with console message boxes, the log, the
// recording test plug-ins' scenario and record, and its own single-instance section and state
// folder there.
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace morlin_test {

struct MorlinOutput {
    int exit_code = -1;
    std::vector<std::string> boxes; // "MSGBOX ..." lines of standard error
    std::vector<std::string> calls; // the test plug-ins' record, in call order
    std::string log;
    bool log_exists = false;
};

// Runs `Morlin <arguments>` in `folder` with `env` added to the usual test environment. The
// record of plug-in calls starts empty; the log is kept from earlier runs.
inline MorlinOutput run_morlin(const std::filesystem::path& folder, const std::string& arguments,
                               std::map<std::string, std::string> env) {
    const auto file = [&](const char* name) { return (folder / name).string(); };
    env.emplace("MORLIN_LOG_FILE", file("Morlin.log"));
    env.emplace("MORLIN_UI", "console");
    env.emplace("MORLIN_TEST_PLUGIN_SCENARIO", file("scenario.txt"));
    env.emplace("MORLIN_TEST_PLUGIN_RECORD", file("calls.txt"));
    env.emplace("TMPDIR", file("tmp"));
    env.emplace("XDG_RUNTIME_DIR", file("run"));  // the single-instance lock
    env.emplace("XDG_STATE_HOME", file("state")); // the log's own folder, when not named
    env.emplace("LC_ALL", "C");
    std::string command = "cd '" + folder.string() + "' && env -u MORLIN_OS_VERSION" +
                          " MORLIN_INSTANCE_SCOPE='" + folder.string() + "'";
    for (const auto& [name, value] : env) {
        command += " " + name + "='" + value + "'";
    }
    command += " '" + std::string(MORLIN_BIN_DIR) + "/Morlin' " + arguments +
               " >stdout.txt 2>stderr.txt; echo $? >exit.txt";
    MorlinOutput result;
    std::filesystem::create_directories(file("tmp"));
    std::filesystem::create_directories(file("run"));
    std::filesystem::remove(file("calls.txt"));
    if (std::system(command.c_str()) != 0) {
        return result;
    }
    result.exit_code = std::atoi(read_text(file("exit.txt")).c_str());
    for (const std::string& line : lines_of(read_text(file("stderr.txt")))) {
        if (line.rfind("MSGBOX", 0) == 0) {
            result.boxes.push_back(line);
        }
    }
    result.calls = lines_of(read_text(file("calls.txt")));
    result.log_exists = std::filesystem::exists(file("Morlin.log"));
    result.log = read_text(file("Morlin.log"));
    return result;
}

} // namespace morlin_test
