// The machine's housekeeping around a reader update (docs/valdrun.md, "Housekeeping").
#include "wrapper/housekeeping/housekeeping.h"

#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/command_line_words.h"
#include "platform/processes/program_start.h"
#include "platform/services/power.h"
#include "platform/services/service_manager.h"
#include "platform/winapi/registry.h"
#include "wrapper/housekeeping/device_instance.h"
#include "wrapper/housekeeping/process_ending.h"
#include "wrapper/housekeeping/service_stop.h"
#include "wrapper/os_type.h"
#include "wrapper/result_codes.h"

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
        if (os_type == kOsWindows98)
            state_.service_restarted = start_registered_service();
        else
            state_.service_restarted = os_type != kOsWindows95 && start_service_and_dependents();
        return state_.service_restarted;
    }

    bool restart_process() override {
        const bool started =
            platform::start_program({state_.process_path}, folder_of(state_.process_path))
                .has_value();
        state_.process_restarted = started;
        note_failure(started);
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
        if (!end_processes_named(kProcessName, state_, ended))
            return false;
        return ended > 0 || end_processes_named(kProcessShortName, state_, ended);
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
        if (*state != platform::ServiceState::Running)
            return true; // stopped or stopping already: nothing to start again later
        state_.error =
            stop_service_with_dependents(*manager, service, kStopLimitMs, state_.dependents);
        state_.service_stopped = state_.error == platform::kErrorSuccess;
        return state_.service_stopped;
    }

    bool start_service_and_dependents() {
        const auto manager = platform::ServiceManager::open();
        if (!manager || !manager->start(platform::smart_card_service_name())) {
            note_failure(false);
            return false;
        }
        platform::sleep_ms(kPauseAfterServiceStartMs);
        for (auto it = state_.dependents.rbegin(); it != state_.dependents.rend(); ++it) {
            // A dependent that does not start again is no failure of the restart.
            static_cast<void>(manager->start(*it));
        }
        return true;
    }

    bool start_registered_service() {
        auto command = platform::registry_read_string(kRunServicesKey, kRunServicesValue);
        if (command && command->size() > kMaxCommandLength)
            command->resize(kMaxCommandLength);
        const auto words =
            command ? platform::command_line_words(*command) : std::vector<std::string>{};
        const bool started = !words.empty() && platform::start_program(words, {}).has_value();
        note_failure(started);
        return started;
    }

    HousekeepingState state_;
};

} // namespace

std::unique_ptr<Housekeeping> system_housekeeping() {
    return std::make_unique<SystemHousekeeping>();
}

} // namespace valdrun
