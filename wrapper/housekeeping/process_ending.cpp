#include "wrapper/housekeeping/process_ending.h"

#include "platform/foundation/text_case.h"
#include "platform/processes/process.h"
#include "platform/processes/process_table.h"
#include "platform/user_interface/ui.h"
#include "wrapper/language.h"

#include <optional>
#include <vector>

namespace valdrun {
namespace {

// The processes whose name contains `name`; nothing, after the tool-help message box (a plain
// box, as one without a caption shows), when the process table cannot be read.
std::optional<std::vector<platform::ProcessEntry>> processes_named(std::string_view name) {
    auto processes = platform::process_snapshot();
    if (!processes) {
        platform::user_interface()->message_box({text(Message::ToolHelpFailure), "Error"});
        return std::nullopt;
    }
    std::erase_if(*processes, [&](const platform::ProcessEntry& process) {
        return process.name.find(name) == std::string::npos;
    });
    return processes;
}

// The module named `name`, when the process has one.
std::optional<std::string> module_named(const std::vector<std::string>& modules,
                                        std::string_view name) {
    for (const std::string& module : modules) {
        const std::string_view file = std::string_view(module).substr(module.find_last_of('/') + 1);
        if (platform::equal_ignoring_case(file, name))
            return module;
    }
    return std::nullopt;
}

} // namespace

bool end_processes_named(std::string_view name, HousekeepingState& state, int& ended) {
    const auto processes = processes_named(name);
    if (!processes)
        return false;
    for (const platform::ProcessEntry& process : *processes) {
        const auto modules = platform::process_modules(process.id);
        if (!modules) {
            if (platform::process_exists(process.id))
                return false;
            continue; // it has ended by itself meanwhile
        }
        if (auto path = module_named(*modules, name))
            state.process_path = std::move(*path);
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
