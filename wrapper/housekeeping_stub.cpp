// Placeholder until the system housekeeping lands: nothing is stopped, found or restarted.
#include "wrapper/housekeeping.h"

namespace valdrun {
namespace {

class NoHousekeeping final : public Housekeeping {
  public:
    int stop_for_update(bool, int) override { return 0; }
    bool restart_service(int) override { return true; }
    bool restart_process() override { return true; }
    const HousekeepingState& state() const override { return state_; }
    bool check_if_already_installed_and_remove_if(std::string_view, bool, bool) override {
        return false;
    }
    bool request_restart(bool, int) override { return false; }

  private:
    HousekeepingState state_;
};

} // namespace

std::unique_ptr<Housekeeping> system_housekeeping() {
    return std::make_unique<NoHousekeeping>();
}

} // namespace valdrun
