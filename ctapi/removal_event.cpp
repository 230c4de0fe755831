#include "removal_event.h"

#include "platform/foundation/clock.h"

namespace brantel {

void RemovalEvent::signal() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void RemovalEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool RemovalEvent::is_signalled() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

bool RemovalEvent::wait(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, platform::scaled(ms), [this] { return signalled_; });
}

} // namespace brantel
