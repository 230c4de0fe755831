#include "host/runs/interactive_run.h"

#include "host/plugins/download_entry.h"

#include <array>
#include <cstring>
#include <utility>

namespace morlin {

namespace {

std::atomic<ProgressSink*> g_sink{nullptr};
std::array<std::atomic<ProgressSink*>, kMaxDownloadEntries> g_lane_sinks{};

void deliver(const std::atomic<ProgressSink*>& to, int steps, const char* text) {
    ProgressSink* sink = to.load();
    if (sink == nullptr) {
        return;
    }
    std::string shown;
    if (text != nullptr) {
        shown.assign(text, strnlen(text, VUP_PROGRESS_TEXT_SIZE - 1));
    }
    (*sink)(steps, shown);
}

template <std::size_t Lane> void lane_progress(int steps, const char* text) {
    deliver(g_lane_sinks[Lane], steps, text);
}

template <std::size_t... Lanes>
constexpr std::array<VUPProgressCallback, sizeof...(Lanes)>
lane_callbacks(std::index_sequence<Lanes...>) {
    return {&lane_progress<Lanes>...};
}

constexpr auto kLaneCallbacks = lane_callbacks(std::make_index_sequence<kMaxDownloadEntries>{});

} // namespace

bool run_may_be_retried(int result) {
    switch (result) {
    case VUP_ERR_STATE_0:
    case VUP_ERR_STATE_2:
    case VUP_ERR_STATE_3:
    case VUP_ERR_STATE_5:
    case VUP_ERR_RECORDS_DECLINED:
        return true;
    default:
        return false;
    }
}

bool run_result_is_silent(int result) {
    return result == VUP_ERR_RECORDS_DECLINED;
}

void set_progress_sink(ProgressSink* sink) {
    g_sink.store(sink);
}

extern "C" void interactive_progress(int steps, const char* text) {
    deliver(g_sink, steps, text);
}

VUPProgressCallback lane_progress_callback(std::size_t lane) {
    return kLaneCallbacks.at(lane);
}

void set_lane_progress_sink(std::size_t lane, ProgressSink* sink) {
    g_lane_sinks.at(lane).store(sink);
}

} // namespace morlin
