#pragma once
// Runs the real Morlin program in a temporary folder, with test plug-ins copied beside it, a
// configuration written for the case, console message boxes and the log in the folder.
#include "host/config_file.h"
#include "tests/host/test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace morlin::test {

// The whole of a file, empty when it is missing.
inline std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) {
        text << in.rdbuf();
    }
    return text.str();
}

struct MorlinRun {
    int exit_code = -1;
    std::vector<std::string> boxes; // "MSGBOX ..." lines of standard error
    std::vector<std::string> calls; // the test plug-ins' record, in call order
    std::string log;

    // Calls of one plug-in function, without the plug-in's name.
    std::vector<std::string> calls_of(const std::string& function) const {
        std::vector<std::string> found;
        for (const std::string& call : calls) {
            const auto blank = call.find(' ');
            if (blank != std::string::npos &&
                call.compare(blank + 1, function.size(), function) == 0 &&
                (call.size() == blank + 1 + function.size() ||
                 call[blank + 1 + function.size()] == ' ')) {
                found.push_back(call.substr(blank + 1));
            }
        }
        return found;
    }
    bool log_has(const std::string& text) const { return log.find(text) != std::string::npos; }
    // Log lines holding `text`, without their date and time.
    std::vector<std::string> log_lines_with(const std::string& text) const {
        std::vector<std::string> found;
        for (const std::string& line : lines_of(log)) {
            if (line.find(text) != std::string::npos) {
                found.push_back(line.size() > 18 ? line.substr(18) : line);
            }
        }
        return found;
    }
};

class MorlinFolder {
  public:
    MorlinFolder() { std::filesystem::create_directories(dir_.file("tmp")); }

    std::string path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // Copies a test plug-in (or any library) into the folder, under its name or `as`.
    void add_library(const std::string& source, const std::string& as) {
        std::filesystem::copy_file(source, dir_.file(as),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void add_test_plugin(const std::string& variant, const std::string& as = {}) {
        add_library(std::string(MORLIN_TEST_PLUGIN_DIR) + "/" + variant + ".so",
                    as.empty() ? variant + ".so" : as);
    }
    // The recording plug-ins' scenario ("key=value" lines).
    void scenario(const std::string& text) { write_text(dir_.file("scenario.txt"), text); }
    void firmware_file(const std::string& name, const std::string& content = "image") {
        write_text(dir_.file(name), content);
    }
    bool config(const ConfigContents& contents) {
        return save_config_file(dir_.file("Morlin.cfg"), contents);
    }

    MorlinRun run(const std::string& arguments = {},
                  std::map<std::string, std::string> env = {}) const {
        env.emplace("MORLIN_LOG_FILE", dir_.file("Morlin.log"));
        env.emplace("MORLIN_UI", "console");
        env.emplace("MORLIN_INHIBIT", "none");
        env.emplace("MORLIN_TEST_PLUGIN_SCENARIO", dir_.file("scenario.txt"));
        env.emplace("MORLIN_TEST_PLUGIN_RECORD", dir_.file("calls.txt"));
        env.emplace("MORLIN_DEVICES", dir_.file("devices"));
        env.emplace("TMPDIR", dir_.file("tmp"));
        env.emplace("LC_ALL", "C");
        // Each test's Morlin holds a single-instance section of its own.
        std::string command = "cd '" + dir_.path() + "' && env -u MORLIN_OS_VERSION" +
                              " MORLIN_INSTANCE_SCOPE='" + dir_.path() + "'";
        for (const auto& [name, value] : env) {
            command += " " + name + "='" + value + "'";
        }
        command += " '" + std::string(MORLIN_BIN_DIR) + "/Morlin' " + arguments +
                   " >stdout.txt 2>stderr.txt; echo $? >exit.txt";
        MorlinRun result;
        std::filesystem::remove(dir_.file("calls.txt"));
        std::filesystem::remove(dir_.file("Morlin.log"));
        if (std::system(command.c_str()) != 0) {
            return result;
        }
        result.exit_code = std::atoi(file_text(dir_.file("exit.txt")).c_str());
        for (const std::string& line : lines_of(file_text(dir_.file("stderr.txt")))) {
            if (line.rfind("MSGBOX", 0) == 0) {
                result.boxes.push_back(line);
            }
        }
        result.calls = lines_of(file_text(dir_.file("calls.txt")));
        result.log = file_text(dir_.file("Morlin.log"));
        return result;
    }

  private:
    TempDir dir_;
};

// A configuration for a silent run that reports its result.
inline ConfigContents silent_config(std::vector<std::string> files,
                                    std::vector<ConfigOption> more_options = {}) {
    ConfigContents contents;
    contents.options = {{"GUI", "no"}, {"REPORTSTATUS", "yes"}};
    for (ConfigOption& option : more_options) {
        contents.options.push_back(std::move(option));
    }
    contents.downloads = std::move(files);
    return contents;
}

} // namespace morlin::test
