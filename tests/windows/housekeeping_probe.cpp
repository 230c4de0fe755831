// housekeeping-probe.exe: Valdrun's housekeeping against the machine's service control manager
// and process table, for the Wine checks (scripts/windows_housekeeping.sh).
//
//   housekeeping-probe setup NAME DEPENDENCY COMMAND_LINE [NAME DEPENDENCY COMMAND_LINE]...
//       registers each service (own process, started on demand; DEPENDENCY "-" for none) and
//       starts it, in the order given, waiting until it runs
//   housekeeping-probe update NAME...
//       what a reader's update run does around the update tool: the stop before it, then the
//       closing work's restarts (the service when the stop stopped it, the process when one
//       was ended); prints the outcome and the state of each service NAME after either step
//   housekeeping-probe power restart|off
//       asks the system to restart or to power off as the closing work does (under Wine the
//       prefix's session ends); prints whether the request was taken
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/services/power.h"
#include "platform/services/service_manager.h"
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/housekeeping/stop_record.h"
#include "wrapper/os_type.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <windows.h>

namespace {

constexpr int kStartWaitMs = 10000;

std::wstring wide(std::string_view ascii) { // the checks' names and paths
    return {ascii.begin(), ascii.end()};
}

const char* state_name(const std::optional<platform::ServiceState>& state) {
    if (!state)
        return "unknown";
    switch (*state) {
    case platform::ServiceState::Stopped:
        return "stopped";
    case platform::ServiceState::Stopping:
        return "stopping";
    default:
        return "running";
    }
}

bool wait_until_running(platform::ServiceManager& manager, const char* name) {
    for (int waited = 0; waited < kStartWaitMs; waited += 100) {
        if (manager.query(name) == platform::ServiceState::Running)
            return true;
        platform::sleep_ms(100);
    }
    return false;
}

int setup(int count, char** words) {
    const SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const auto services = platform::ServiceManager::open();
    if (manager == nullptr || !services) {
        std::printf("no service manager (error %lu)\n", ::GetLastError());
        return 1;
    }
    for (int at = 0; at + 2 < count; at += 3) {
        const char* name = words[at];
        // A list of names, each ended by a zero, and the list by one more.
        const std::wstring dependency =
            std::string(words[at + 1]) == "-" ? std::wstring() : wide(words[at + 1]) + L'\0';
        const SC_HANDLE service =
            ::CreateServiceW(manager, wide(name).c_str(), wide(name).c_str(), SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             wide(words[at + 2]).c_str(), nullptr, nullptr,
                             dependency.empty() ? nullptr : dependency.c_str(), nullptr, nullptr);
        if (service == nullptr || !::StartServiceW(service, 0, nullptr) ||
            !wait_until_running(*services, name)) {
            std::printf("%s: not registered and started (error %lu)\n", name, ::GetLastError());
            return 1;
        }
        ::CloseServiceHandle(service);
        std::printf("%s: running\n", name);
    }
    ::CloseServiceHandle(manager);
    return 0;
}

void print_states(int count, char** names) {
    const auto manager = platform::ServiceManager::open();
    for (int at = 0; at < count; ++at)
        std::printf("%s: %s\n", names[at],
                    manager ? state_name(manager->query(names[at])) : "unknown");
}

void print_record() {
    const bool kept =
        ::GetFileAttributesW(wide(valdrun::stop_record_path()).c_str()) != INVALID_FILE_ATTRIBUTES;
    std::printf("stop record: %s\n", kept ? "kept" : "none");
}

// The stop, then the restarts as the closing work makes them.
int update(int count, char** names) {
    const auto housekeeping = valdrun::system_housekeeping();
    const int os_type = valdrun::query_os_type();
    const int result = housekeeping->stop_for_update(false, os_type);
    const valdrun::HousekeepingState& state = housekeeping->state();
    std::printf("OS type %d\nstop: %d (error %u)\n", os_type, result, state.error);
    std::printf("dependents stopped:");
    for (const std::string& dependent : state.dependents)
        std::printf(" %s", dependent.c_str());
    std::printf("\nservice stopped: %d\nprocess ended: %d %s\n", state.service_stopped ? 1 : 0,
                state.process_ended ? 1 : 0, state.process_path.c_str());
    print_states(count, names);
    print_record();
    if (state.service_stopped)
        std::printf("service started again: %d\n", housekeeping->restart_service(os_type) ? 1 : 0);
    if (state.process_ended) {
        const bool started = housekeeping->restart_process();
        std::printf("process started again: %d (error %u)\n", started ? 1 : 0, state.error);
    }
    print_states(count, names);
    print_record();
    return 0;
}

int power(const std::string& how) {
    const bool taken = platform::request_power(how == "off" ? platform::PowerRequest::PowerOff
                                                            : platform::PowerRequest::Restart);
    std::printf("power request taken: %d (error %u)\n", taken ? 1 : 0,
                taken ? 0u : static_cast<unsigned>(platform::last_error()));
    std::fflush(stdout);
    return taken ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "setup")
        return setup(argc - 2, argv + 2);
    if (mode == "update")
        return update(argc - 2, argv + 2);
    if (mode == "power" && argc > 2)
        return power(argv[2]);
    std::fprintf(stderr, "usage: housekeeping-probe setup|update|power ...\n");
    return 2;
}
