#pragma once
// The run state of an interactive run, shared by the main window's thread and its worker, and
// the progress callback handed to the plug-in.
#include "vup_plugin.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace morlin {

inline constexpr std::int32_t kOutcomeSucceeded = 0;
inline constexpr std::int32_t kOutcomeLeft = 1;
inline constexpr std::int32_t kOutcomeFailed = 2;

// Words written by one thread and read by the other; the abort flag is handed to the plug-in
// by address (it reads it through that address while the run goes on).
struct RunWords {
    std::atomic<std::int32_t> running{0};
    std::atomic<std::int32_t> finished{0};
    std::atomic<std::int32_t> outcome{kOutcomeLeft};
    alignas(std::atomic_ref<int>::required_alignment) int abort_flag = 0;

    void set_abort(int value) { std::atomic_ref<int>(abort_flag).store(value); }
    int abort() { return std::atomic_ref<int>(abort_flag).load(); }
};

// Results after which the user may try again (start, browse and device information enabled).
bool run_may_be_retried(int result);
// A result for which no error box is shown (the user declined the plug-in's own warning).
bool run_result_is_silent(int result);

// The progress callback of interactive runs routes to the one active sink (one run at a time).
// Steps > 0 advance, 0 resets, negative moves nothing; the text (at most 199 bytes, none for
// null) is always shown.
using ProgressSink = std::function<void(int steps, const std::string& text)>;
void set_progress_sink(ProgressSink* sink);
extern "C" void interactive_progress(int steps, const char* text);

// A run in lanes: the plug-in's callback carries no context, so each lane (below the download
// table's size) has a callback of its own, routed to that lane's sink, from any thread.
VUPProgressCallback lane_progress_callback(std::size_t lane);
void set_lane_progress_sink(std::size_t lane, ProgressSink* sink);

} // namespace morlin
