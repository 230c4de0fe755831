#include "host/morlin_usage.h"

#include "cli/tool_usage.h"
#include "host/command_line.h"
#include "platform/winapi/library.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace morlin {

namespace {

constexpr std::string_view kName = "Morlin";

const cli::ToolUsage kUsage{
    kName, "usage: Morlin [/CE] [/DI] [/IV] [/PARALLEL] [/CFG path]\n",
    "The firmware update host. Without a switch it runs the configured update of Morlin.cfg\n"
    "(found in the current folder, letter case ignored), else the interactive run.\n"
    "Plug-ins (VUP*" MORLIN_LIBRARY_SUFFIX ") are looked for in the current folder, then in the\n"
    "plug-in folder of an installed Morlin.\n"
    "\n"
    "  /CFG path   use this configuration file; everything after /CFG is the path, so it\n"
    "              comes last\n"
    "  /CE         open the configuration editor\n"
    "  /DI         open the device information display\n"
    "  /IV         identical-version run: every listed terminal is a candidate whatever its\n"
    "              product; refused for more than one file or more than one device\n"
    "  /PARALLEL   a silent configured run downloads to different devices at the same time\n"
    "              where the plug-in allows it\n"
    "  -h, --help, /?   this text\n"
    "  --version   the version line\n"
    "Switches are matched ignoring letter case, anywhere before /CFG. Other arguments are\n"
    "ignored (each with one line on standard error).\n"
    "\n"
    "Files: the log is MORLIN_LOG_FILE, else Morlin.log in the user's own state folder\n"
    "(docs/host.md); the configuration is Morlin.cfg (MorlinCfg shows, verifies and writes\n"
    "it); Help opens Morlin.html beside the program.\n"
    "Environment: MORLIN_LOG_FILE, MORLIN_RESULT_FILE (one JSON line per run), MORLIN_DEVICES\n"
    "(simulated devices), MORLIN_UI=console with MORLIN_UI_ANSWERS, MORLIN_REAL_PORTS,\n"
    "MORLIN_INHIBIT, the temporary folder (TMPDIR; TMP on Windows), the\n"
    "language (LC_ALL/LANG, German for de_DE; on Windows the user's UI language); the README\n"
    "lists them all.\n"
    "\n"
    "Exit codes: 0 tool course done or ended before a run; interactive run 0 success, 1\n"
    "closed before any run, 2 failed; configured run with its progress dialog (GUI yes) 0\n"
    "every file downloaded, 1 closed before Start, 2 a download failed, 255 a file without a\n"
    "device; 255 for a silent run whatever its result and for a configured run that stopped\n"
    "early or fell back to the interactive run (read MORLIN_RESULT_FILE or the log).\n"
    "Ctrl-C or SIGTERM during a run lets the\n"
    "download end as a cancel and exits with 130 (SIGINT) or 143 (SIGTERM); a second one\n"
    "ends at once and may leave the terminal in download mode.\n"};

constexpr std::array<std::string_view, 4> kSwitches = {"/CE", "/DI", "/IV", "/PARALLEL"};

bool holds_config_switch(const std::string& argument) {
    return upper_case(argument).find("/CFG") != std::string::npos;
}

// The arguments that the switch rules read: those before the one that holds /CFG.
std::vector<std::string> switch_arguments(const std::vector<std::string>& arguments) {
    const auto cfg = std::find_if(arguments.begin(), arguments.end(), holds_config_switch);
    return {arguments.begin(), cfg};
}

} // namespace

std::optional<int> answer_help_or_version(const std::vector<std::string>& arguments) {
    return cli::answer_help_or_version(kUsage, switch_arguments(arguments), "/?");
}

std::vector<std::string> ignored_arguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> result;
    for (const std::string& argument : switch_arguments(arguments)) {
        const std::string upper = upper_case(argument);
        const bool known = std::any_of(kSwitches.begin(), kSwitches.end(), [&](auto name) {
            return upper.find(name) != std::string::npos;
        });
        if (!known) {
            result.push_back(argument);
        }
    }
    return result;
}

void report_ignored_arguments(const std::vector<std::string>& arguments) {
    for (const std::string& argument : ignored_arguments(arguments)) {
        std::fprintf(stderr,
                     "Morlin: ignoring argument \"%s\": not one of the switches /CE, /DI, /IV, "
                     "/PARALLEL, /CFG path (see Morlin --help)\n",
                     argument.c_str());
    }
}

} // namespace morlin
