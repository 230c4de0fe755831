#pragma once
// Runs the real Morlin program in a temporary folder, with test plug-ins copied beside it, a
// configuration written for the case, console message boxes and the log in the folder.
#include "host/config/config_file.h"
#include "tests/common/morlin_runner.h"
#include "tests/host/test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace morlin::test {

struct MorlinRun : morlin_test::MorlinOutput {

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

    std::string path() const { return dir_.path().string(); }
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
        env.emplace("MORLIN_INHIBIT", "none");
        env.emplace("MORLIN_DEVICES", dir_.file("devices"));
        std::filesystem::remove(dir_.file("Morlin.log"));
        return {morlin_test::run_morlin(dir_.path(), arguments, std::move(env))};
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
