#pragma once
// Runs a piece of a test that must never wait on the named pipes it is given. When it has
// not ended within the grace time, writers come and go on the pipes until it ends, so that a
// reader held in open() or read() goes on and the test fails instead of hanging.
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <unistd.h>
#include <vector>

namespace morlin_test {

// True when `body` ended by itself; false when the pipes had to release it.
inline bool ends_without_waiting_on(const std::vector<std::filesystem::path>& pipes,
                                    const std::function<void()>& body) {
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        done.get();
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        for (const auto& pipe : pipes) {
            const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                ::close(writer);
            }
        }
    }
    done.get();
    return false;
}

} // namespace morlin_test
