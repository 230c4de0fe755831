// The stop record file.
#include "wrapper/housekeeping/stop_record.h"

#include "platform/files/files.h"
#include "platform/files/user_folders.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/test_hooks.h"
#include "platform/foundation/text_case.h"
#include "platform/processes/process_table.h"
#include "platform/services/service_manager.h"
#include "wrapper/trust.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace valdrun {
namespace {

constexpr std::string_view kFirstLine = "valdrun-stopped";
constexpr std::uint32_t kPauseAfterServiceStartMs = 300;

// Root's (the administrator's) runtime folder: /run/valdrun, on Windows under ProgramData.
const std::string& root_runtime_folder() {
    static const std::string folder = platform::machine_runtime_directory("valdrun");
    return folder;
}

std::optional<std::uint32_t> number(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "process <user> <group> <path>": the path is the rest of the line.
bool read_process(std::string_view rest, StoppedThings& stopped) {
    const std::size_t first = rest.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : rest.find(' ', first + 1);
    if (second == std::string_view::npos)
        return false;
    const auto user = number(rest.substr(0, first));
    const auto group = number(rest.substr(first + 1, second - first - 1));
    const std::string_view path = rest.substr(second + 1);
    if (!user || !group || !std::filesystem::path(path).is_absolute())
        return false;
    stopped.process_path = std::string(path);
    stopped.process_user = *user;
    stopped.process_group = *group;
    return true;
}

std::string folder_of(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// Whether a process of that program's name runs already (started again since, at boot say).
bool runs_already(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    for (const auto& process :
         platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
        if (!process.zombie && platform::equal_ignoring_case(process.name, name))
            return true;
    }
    return false;
}

void start_process(const StoppedThings& stopped) {
    if (runs_already(*stopped.process_path))
        return;
    auto program = platform::HeldProgram::open(*stopped.process_path);
    const auto refusal = program ? platform::why_untrusted(program->facts(), stopped.process_user)
                                 : std::optional<std::string>("it cannot be opened");
    if (refusal) {
        log_line("zkaservice.exe is not started again from " + *stopped.process_path + ": " +
                 *refusal);
        return;
    }
    platform::StartOptions options;
    options.folder = folder_of(*stopped.process_path);
    options.detached = true;
    options.credentials = platform::ProcessCredentials{
        stopped.process_user, stopped.process_user, stopped.process_group, {stopped.process_group}};
    if (!platform::start_held_program(*program, {*stopped.process_path}, options))
        log_line("zkaservice.exe could not be started again from " + *stopped.process_path);
}

} // namespace

std::string stop_record_text(const StoppedThings& stopped) {
    std::string text = std::string(kFirstLine) + "\n";
    if (stopped.service)
        text += "service " + std::string(platform::smart_card_service_name()) + "\n";
    for (const std::string& dependent : stopped.dependents)
        text += "dependent " + dependent + "\n";
    if (stopped.process_path) {
        text += "process " + std::to_string(stopped.process_user) + " " +
                std::to_string(stopped.process_group) + " " + *stopped.process_path + "\n";
    }
    return text;
}

std::optional<StoppedThings> parse_stop_record(std::string_view text) {
    StoppedThings stopped;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (first) {
            if (line != kFirstLine)
                return std::nullopt;
            first = false;
        } else if (line.starts_with("service ")) {
            stopped.service = true;
        } else if (line.starts_with("dependent ") && line.size() > 10) {
            stopped.dependents.emplace_back(line.substr(10));
        } else if (line.starts_with("process ")) {
            static_cast<void>(read_process(line.substr(8), stopped));
        }
    }
    if (first)
        return std::nullopt;
    return stopped;
}

std::string stop_record_path() {
    std::optional<std::string> folder;
    if (const char* tests = platform::test_hook_variable("MORLIN_RUNTIME_FOLDER");
        tests && *tests) {
        folder = tests; // tests run as any user, root included, never in the machine's folder
    } else if (own_user() == 0) {
        folder = root_runtime_folder();
    } else {
        folder = platform::user_runtime_directory("valdrun");
    }
    return folder ? platform::join_path(*folder, "stopped") : std::string();
}

bool save_stop_record(const StoppedThings& stopped) {
    const std::string path = stop_record_path();
    if (path.empty())
        return false;
    // Root's folder must be root's alone: no one else can plant or change a record there.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder == root_runtime_folder()) {
        platform::create_private_directory(folder);
        if (why_refused_as_root(folder))
            return false;
    }
    const std::string next = path + ".new";
    {
        std::ofstream out(next, std::ios::trunc);
        out << stop_record_text(stopped);
        if (!out.flush())
            return false;
    }
    return std::rename(next.c_str(), path.c_str()) == 0;
}

void remove_stop_record() {
    if (const std::string path = stop_record_path(); !path.empty())
        std::remove(path.c_str());
}

bool restart_what_an_earlier_run_left_stopped() {
    const std::string path = stop_record_path();
    std::ifstream in(path);
    if (path.empty() || !in)
        return false;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder == root_runtime_folder() && why_refused_as_root(folder)) {
        log_line("the stop record " + path + " is not trusted: its folder is not root's alone");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const auto stopped = parse_stop_record(text.str());
    if (stopped) {
        log_line("an earlier run was ended with the smart-card service or zkaservice.exe "
                 "stopped: they are started again");
        if (const auto manager = platform::ServiceManager::open()) {
            if (stopped->service) {
                static_cast<void>(manager->start(platform::smart_card_service_name()));
                platform::sleep_ms(kPauseAfterServiceStartMs);
            }
            for (auto it = stopped->dependents.rbegin(); it != stopped->dependents.rend(); ++it)
                static_cast<void>(manager->start(*it));
        }
        if (stopped->process_path)
            start_process(*stopped);
    }
    remove_stop_record();
    return true;
}

} // namespace valdrun
