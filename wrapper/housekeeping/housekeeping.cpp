// The machine's housekeeping around a reader update (docs/valdrun.md, "Housekeeping").
#include "wrapper/housekeeping/housekeeping.h"

#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/command_line_words.h"
#include "platform/services/power.h"
#include "platform/services/service_manager.h"
#include "platform/winapi/registry.h"
#include "wrapper/housekeeping/device_instance.h"
#include "wrapper/housekeeping/process_ending.h"
#include "wrapper/housekeeping/service_stop.h"
#include "wrapper/housekeeping/stop_record.h"
#include "wrapper/os_type.h"
#include "wrapper/result_codes.h"
#include "wrapper/trust.h"

#include <mutex>

namespace valdrun {
namespace {

constexpr std::string_view kProcessName = "zkaservice.exe";
constexpr std::string_view kProcessShortName = "ZKASER~1.EXE";
// OS type 2 starts the smart-card service from this registry value.
constexpr std::string_view kRunServicesKey =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES";
constexpr std::string_view kRunServicesValue = "SCardSvr";
constexpr std::size_t kMaxCommandLength = 259;
constexpr std::uint32_t kPauseAfterServiceStartMs = 300;

// The folder of a program file: the path up to its last separator (the root stays "/").
std::string folder_of(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string_view::npos)
        return {};
    return std::string(path.substr(0, separator == 0 ? 1 : separator));
}

class SystemHousekeeping final : public Housekeeping {
  public:
    int stop_for_update(bool terminal, int os_type) override {
        const std::lock_guard guard(lock_);
        if (terminal)
            return kResultLoaded;
        if (os_type != kOsWindows98 && !end_zkaservice()) {
            note_failure(false);
            return kResultServiceFailed;
        }
        if (!state_.service_stopped && !stop_service(os_type))
            return kResultServiceFailed;
        return kResultLoaded;
    }

    bool restart_service(int os_type) override {
        const std::lock_guard guard(lock_);
        if (state_.service_restarted)
            return true; // started again already (after a second termination signal)
        if (os_type == kOsWindows98)
            state_.service_restarted = start_registered_service();
        else
            state_.service_restarted = os_type != kOsWindows95 && start_service_and_dependents();
        forget_record_once_everything_runs();
        return state_.service_restarted;
    }

    bool restart_process() override {
        const std::lock_guard guard(lock_);
        if (state_.process_restarted)
            return true;
        bool started = false;
        if (state_.process_program) {
            platform::StartOptions options;
            options.folder = folder_of(state_.process_path);
            options.detached = true;
            options.credentials = state_.process_credentials;
            started = platform::start_held_program(*state_.process_program, {state_.process_path},
                                                   options)
                          .has_value();
        } else {
            platform::set_last_error(platform::kErrorAccessDenied);
            log_line("zkaservice.exe is not started again: no program file of an ended process "
                     "could be trusted");
        }
        state_.process_restarted = started;
        note_failure(started);
        forget_record_once_everything_runs();
        return started;
    }

    const HousekeepingState& state() const override { return state_; }

    bool check_if_already_installed_and_remove_if(std::string_view hardware_id, bool remove,
                                                  bool hidden_too) override {
        return find_device_instance(hardware_id, remove, hidden_too);
    }

    bool request_restart(bool shutdown, int /*os_type*/) override {
        // The shutdown right is logind's to grant when the request arrives: there is no
        // privilege to enable in the process beforehand, on any OS type.
        return platform::request_power(shutdown ? platform::PowerRequest::PowerOff
                                                : platform::PowerRequest::Restart);
    }

  private:
    void note_failure(bool succeeded) {
        if (!succeeded)
            state_.error = platform::last_error();
    }

    // zkaservice.exe, then its short name when no process of the long one was ended.
    bool end_zkaservice() {
        int ended = 0;
        const auto before_end = [this] { save_record(); };
        if (!end_processes_named(kProcessName, state_, ended, before_end))
            return false;
        return ended > 0 || end_processes_named(kProcessShortName, state_, ended, before_end);
    }

    bool stop_service(int os_type) {
        if (os_type == kOsWindows98) {
            return end_service_processes(platform::smart_card_service_process_name(),
                                         state_.service_stopped);
        }
        // OS type 1 offers no service manager: there is nothing to stop, and nothing will be
        // started again.
        return os_type == kOsWindows95 || stop_service_route();
    }

    bool stop_service_route() {
        const std::string_view service = platform::smart_card_service_name();
        const auto manager = platform::ServiceManager::open();
        const auto state = manager ? manager->query(service) : std::nullopt;
        if (!state) {
            note_failure(false);
            return false;
        }
        // A socket-activated service that has exited on its own is inactive while its socket
        // listens: the socket is stopped all the same, or any smart-card client would start
        // the service again under the update tool.
        const bool running = *state == platform::ServiceState::Running;
        state_.error =
            stop_service_with_dependents(*manager, service, kStopLimitMs, state_.dependents,
                                         [this](std::string_view unit) { save_record(unit); });
        if (state_.error != platform::kErrorSuccess)
            return false;
        state_.service_itself_stopped = running;
        state_.service_stopped = running || !state_.dependents.empty();
        return true;
    }

    // The service (when this run stopped it), then the dependents in reverse order of stopping.
    // Once the service runs, a dependent that does not start is no failure; when only its
    // trigger units were stopped, they are what must run again.
    bool start_service_and_dependents() {
        const auto manager = platform::ServiceManager::open();
        if (!manager) {
            note_failure(false);
            return false;
        }
        if (state_.service_itself_stopped) {
            if (!manager->start(platform::smart_card_service_name())) {
                note_failure(false);
                return false;
            }
            platform::sleep_ms(kPauseAfterServiceStartMs);
        }
        bool all_started = true;
        for (auto it = state_.dependents.rbegin(); it != state_.dependents.rend(); ++it)
            all_started = manager->start(*it) && all_started;
        note_failure(all_started || state_.service_itself_stopped);
        return all_started || state_.service_itself_stopped;
    }

    bool start_registered_service() {
        auto command = platform::registry_read_string(kRunServicesKey, kRunServicesValue);
        if (command && command->size() > kMaxCommandLength)
            command->resize(kMaxCommandLength);
        const auto words =
            command ? platform::command_line_words(*command) : std::vector<std::string>{};
        const auto program = words.empty() ? std::nullopt : platform::HeldProgram::open(words[0]);
        if (!program) {
            note_failure(false);
            return false;
        }
        if (const auto refusal = platform::why_untrusted(program->facts(), own_user())) {
            log_line("the smart-card service " + words[0] + " is not started: " + *refusal);
            platform::set_last_error(platform::kErrorAccessDenied);
            note_failure(false);
            return false;
        }
        platform::StartOptions options;
        options.detached = true;
        const bool started = platform::start_held_program(*program, words, options).has_value();
        note_failure(started);
        return started;
    }

    // The stop record names what is stopped before each stop is sent: `pending_unit` is
    // the unit about to be stopped.
    void save_record(std::string_view pending_unit = {}) {
        StoppedThings stopped;
        stopped.service =
            state_.service_itself_stopped || pending_unit == platform::smart_card_service_name();
        stopped.dependents = state_.dependents;
        if (!pending_unit.empty() && !stopped.service)
            stopped.dependents.emplace_back(pending_unit);
        if (state_.process_program) {
            stopped.process_path = state_.process_path;
            stopped.process_user = state_.process_credentials.user;
            stopped.process_group = state_.process_credentials.group;
        }
        if (!save_stop_record(stopped))
            log_line("the stop record " + stop_record_path() + " cannot be written");
    }

    // The stop record goes once everything this run stopped runs again.
    void forget_record_once_everything_runs() {
        if ((!state_.service_stopped || state_.service_restarted) &&
            (!state_.process_ended || state_.process_restarted))
            remove_stop_record();
    }

    std::mutex lock_; // the stop, and the restarts of the closing work or of a termination
    HousekeepingState state_;
};

} // namespace

std::unique_ptr<Housekeeping> system_housekeeping() {
    return std::make_unique<SystemHousekeeping>();
}

} // namespace valdrun
