#pragma once
// The system housekeeping around a reader update: ending the zkaservice.exe companion process
// and stopping the smart-card service with its dependents before the update tool runs,
// starting them again afterwards (dependents in reverse order), looking for (and removing) a
// serial reader's device instance, and restarting or switching off the machine.
//
// One instance per run. The stop runs on the service-stop thread; the state it leaves is read
// by the main thread only after that thread has ended.
#include "platform/processes/held_program.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace valdrun {

struct HousekeepingState {
    // This run stopped the smart-card service, or (when the service itself was inactive) its
    // active trigger units: something must be started again.
    bool service_stopped = false;
    bool service_itself_stopped = false; // the service itself was running and was stopped
    bool service_restarted = false;      // its restart succeeded
    bool process_ended = false;          // this run ended a zkaservice.exe process
    bool process_restarted = false;      // it was started again
    // The program file of the last process ended whose file Valdrun trusts, held open for its
    // restart, and the user and groups that process ran as. Empty when no ended process
    // had a trusted file: then nothing is started again.
    std::string process_path;
    std::shared_ptr<const platform::HeldProgram> process_program;
    platform::ProcessCredentials process_credentials;
    std::vector<std::string> dependents; // dependents stopped, in the order of stopping
    std::uint32_t error = 0; // system error number of the last stop or restart that failed
};

class Housekeeping {
  public:
    virtual ~Housekeeping() = default;

    // The service-stop thread's work: 0 when everything needed is stopped, else 9. A terminal
    // update stops nothing.
    virtual int stop_for_update(bool terminal, int os_type) = 0;
    // The closing work's restarts; true on success.
    virtual bool restart_service(int os_type) = 0;
    virtual bool restart_process() = 0;
    virtual const HousekeepingState& state() const = 0;

    // Detection: whether a device with this hardware identifier is there (hidden ones too when
    // asked); with `remove` it is removed as well, and a failed removal gives false.
    virtual bool check_if_already_installed_and_remove_if(std::string_view hardware_id, bool remove,
                                                          bool hidden_too) = 0;

    // Asks the system to restart (or, with `shutdown`, to power off) without forcing
    // applications to close; true when the request was accepted. The question before it is
    // the caller's.
    virtual bool request_restart(bool shutdown, int os_type) = 0;
};

// The machine's housekeeping: the service manager and power over the system bus, processes
// from the process table, device instances from the device lists.
std::unique_ptr<Housekeeping> system_housekeeping();

} // namespace valdrun
