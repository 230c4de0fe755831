// The stop-request state of every platform; the system handlers are in stop_request_*.cpp.
#include "platform/processes/stop_request.h"

#include "platform/processes/stop_request_state.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<int> g_signal{0};
std::atomic<int*> g_abort_flag{nullptr};
std::atomic<const char*> g_notice{nullptr};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int*>::is_always_lock_free &&
                  std::atomic<const char*>::is_always_lock_free,
              "the stop request is recorded from a signal handler");

void store_abort(int* flag) {
    if (flag != nullptr) {
        std::atomic_ref<int>(*flag).store(1);
    }
}

} // namespace

namespace stop_state {

bool note_request(int signal_number) {
    int expected = 0;
    if (!g_signal.compare_exchange_strong(expected, signal_number)) {
        return false;
    }
    store_abort(g_abort_flag.load());
    return true;
}

void set_second_request_notice(const char* notice) {
    g_notice.store(notice);
}

const char* second_request_notice() {
    return g_notice.load();
}

} // namespace stop_state

int stop_request_signal() {
    return g_signal.load();
}

void bind_abort_flag(int* abort_flag) {
    g_abort_flag.store(abort_flag);
    if (abort_flag != nullptr && g_signal.load() != 0) {
        store_abort(abort_flag);
    }
}

} // namespace platform
