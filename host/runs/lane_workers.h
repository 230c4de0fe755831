#pragma once
// The workers of a run in lanes: each lane's entries are handled one after another on a thread
// of its own, all lanes at the same time. Each lane has its own abort flag for the plug-in's
// call; a stop (Ctrl-C, SIGTERM, a confirmed cancel) sets every lane's flag at once. Used by
// the silent run with /PARALLEL and by the progress dialog's run in lanes.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace morlin {

class LaneWorkers {
  public:
    using Lanes = std::vector<std::vector<int>>; // table indexes, each lane in table order
    // One entry of a lane (the lane's thread): its lane, its table index, whether it is the
    // lane's first.
    using EntryWork = std::function<void(std::size_t lane, int index, bool first)>;

    explicit LaneWorkers(Lanes lanes);

    const Lanes& lanes() const { return lanes_; }

    // Runs `work` for every entry and returns when every lane has ended. `stop_wanted` is
    // asked on the calling thread while the lanes run; when it first answers true every lane's
    // abort flag is set, stopping() holds from then on and `on_stop` runs once.
    void run(const EntryWork& work, const std::function<bool()>& stop_wanted,
             const std::function<void()>& on_stop);

    // The lane's abort flag, handed to the plug-in (it stays where it is during the run).
    int* abort_flag(std::size_t lane) { return &abort_flags_[lane]; }
    // Before a lane's next entry: a removal the plug-in saw during the lane's last download
    // must not end the next one at once, so the flag is cleared, unless the run is stopping.
    void rearm(std::size_t lane);
    bool stopping() const { return stopping_.load(); }

  private:
    Lanes lanes_;
    std::unique_ptr<int[]> abort_flags_;
    std::atomic<bool> stopping_{false};
};

} // namespace morlin
