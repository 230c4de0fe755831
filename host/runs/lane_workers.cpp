#include "host/runs/lane_workers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace morlin {

namespace {

constexpr auto kStopLook = std::chrono::milliseconds(50);

void store(int& flag, int value) {
    std::atomic_ref<int>(flag).store(value);
}

} // namespace

LaneWorkers::LaneWorkers(Lanes lanes)
    : lanes_(std::move(lanes)), abort_flags_(std::make_unique<int[]>(lanes_.size())) {}

void LaneWorkers::rearm(std::size_t lane) {
    store(abort_flags_[lane], 0);
    // A stop that came meanwhile set the flag before this cleared it: set it again.
    if (stopping_.load()) {
        store(abort_flags_[lane], 1);
    }
}

void LaneWorkers::run(const EntryWork& work, const std::function<bool()>& stop_wanted,
                      const std::function<void()>& on_stop) {
    std::mutex lock;
    std::condition_variable lane_ended;
    std::size_t lanes_running = lanes_.size();
    std::vector<std::thread> workers;
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        workers.emplace_back([&, lane] {
            bool first = true;
            for (const int index : lanes_[lane]) {
                work(lane, index, first);
                first = false;
            }
            std::lock_guard guard(lock);
            --lanes_running;
            lane_ended.notify_all();
        });
    }
    {
        std::unique_lock guard(lock);
        while (!lane_ended.wait_for(guard, kStopLook, [&] { return lanes_running == 0; })) {
            if (!stopping_.load() && stop_wanted()) {
                stopping_.store(true);
                for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
                    store(abort_flags_[lane], 1);
                }
                on_stop();
            }
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

} // namespace morlin
