#include "host/runs/interactive_run.h"

#include <cstring>

namespace morlin {

namespace {
std::atomic<ProgressSink*> g_sink{nullptr};
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
    ProgressSink* sink = g_sink.load();
    if (sink == nullptr) {
        return;
    }
    std::string shown;
    if (text != nullptr) {
        shown.assign(text, strnlen(text, VUP_PROGRESS_TEXT_SIZE - 1));
    }
    (*sink)(steps, shown);
}

} // namespace morlin
