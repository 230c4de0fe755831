#include "ui/timer_driver.h"

namespace dialogs {

void TimerDriver::take_changes() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        it = dialog_.timers().count(it->first) == 0 ? entries_.erase(it) : std::next(it);
    }
    for (const auto& [id, setting] : dialog_.timers()) {
        Entry& entry = entries_[id];
        if (entry.generation != setting.generation) {
            entry.generation = setting.generation;
            entry.due = clock_.now_ms() + clock_.period_ms(setting.period_ms);
        }
    }
}

std::optional<std::uint64_t> TimerDriver::next_due() {
    take_changes();
    std::optional<std::uint64_t> due;
    for (const auto& [id, entry] : entries_) {
        if (!due || entry.due < *due) {
            due = entry.due;
        }
    }
    return due;
}

bool TimerDriver::elapse_due() {
    take_changes();
    const std::uint64_t now = clock_.now_ms();
    auto first = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.due <= now &&
            (first == entries_.end() || it->second.due < first->second.due)) {
            first = it;
        }
    }
    if (first == entries_.end()) {
        return false;
    }
    const int id = first->first;
    first->second.due = now + clock_.period_ms(dialog_.timers().at(id).period_ms);
    dialog_.timer_elapsed(id);
    return true;
}

} // namespace dialogs
