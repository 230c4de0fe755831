#pragma once
// A manual-reset event: signalled by the device monitor when the open terminal disappeared,
// waited for by the reconnect, reset when the port is open again.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace brantel {

class RemovalEvent {
  public:
    void signal();
    void reset();
    bool is_signalled() const;
    // Waits up to `ms` (a protocol wait, scaled) for the event; true when it is signalled.
    [[nodiscard]] bool wait(std::uint32_t ms);

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

} // namespace brantel
