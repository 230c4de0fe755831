#include "wrapper/housekeeping/process_ending.h"

#include "platform/foundation/text_case.h"
#include "platform/processes/process_table.h"
#include "platform/user_interface/ui.h"
#include "wrapper/language.h"
#include "wrapper/trust.h"

#include <optional>
#include <vector>

namespace valdrun {
namespace {

// The running processes of Valdrun's own user whose name contains `name`; nothing, after the
// tool-help message box (a plain box, as one without a caption shows), when the process table
// cannot be read. Zombies have ended already; other users' processes are left alone.
std::optional<std::vector<platform::ProcessEntry>> processes_named(std::string_view name) {
    auto processes = platform::process_snapshot();
    if (!processes) {
        platform::user_interface()->message_box({text(Message::ToolHelpFailure), "Error"});
        return std::nullopt;
    }
    const std::uint32_t own = own_user();
    std::erase_if(*processes, [&](const platform::ProcessEntry& process) {
        if (process.name.find(name) == std::string::npos || process.zombie)
            return true;
        if (may_act_on(process.credentials, own))
            return false;
        log_line(process.name + " (process " + std::to_string(process.id) +
                 ") is left alone: it runs as user " + std::to_string(process.credentials.user));
        return true;
    });
    return processes;
}

// The file name of a program path as the system gives it: after the last '/' on Linux, the
// last '\' on Windows.
std::string_view file_name_of(std::string_view path) {
    return path.substr(path.find_last_of("/\\") + 1);
}

// Holds the process's program for its restart when Valdrun trusts it; says why not otherwise.
void remember_program(platform::HeldProgram program, const platform::ProcessEntry& process,
                      std::string_view name, HousekeepingState& state) {
    std::optional<std::string> refusal;
    if (!platform::equal_ignoring_case(file_name_of(program.path()), name))
        refusal = "its program file has another name";
    else
        refusal = platform::why_untrusted(program.facts(), process.credentials.user);
    if (refusal) {
        log_line(process.name + " (process " + std::to_string(process.id) +
                 ") will not be started again from " + program.path() + ": " + *refusal);
        return;
    }
    state.process_path = program.path();
    state.process_credentials = process.credentials;
    state.process_program = std::make_shared<const platform::HeldProgram>(std::move(program));
}

} // namespace

bool end_processes_named(std::string_view name, HousekeepingState& state, int& ended,
                         const std::function<void()>& before_end) {
    const auto processes = processes_named(name);
    if (!processes)
        return false;
    for (const platform::ProcessEntry& process : *processes) {
        auto program = platform::HeldProgram::of_process(process.id);
        if (!program) {
            if (platform::process_alive(process.id))
                return false;
            continue; // it has ended by itself meanwhile
        }
        remember_program(std::move(*program), process, name, state);
        if (before_end)
            before_end();
        state.process_ended = platform::end_process(process.id);
        if (!state.process_ended)
            return false;
        ++ended;
    }
    return true;
}

bool end_service_processes(std::string_view name, bool& ended) {
    const auto processes = processes_named(name);
    if (!processes)
        return false;
    for (const platform::ProcessEntry& process : *processes) {
        ended = platform::end_process(process.id);
        if (!ended)
            return false;
    }
    return true;
}

} // namespace valdrun
