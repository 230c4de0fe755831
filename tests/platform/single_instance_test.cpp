#include "platform/last_error.h"
#include "platform/single_instance.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A name no other test run uses at the same time.
std::string unique_name(const char* what) {
    return std::string("test-") + what + "-" + std::to_string(::getpid());
}

bool wait_for(const std::atomic<int>& value, int wanted) {
    for (int i = 0; i < 200 && value.load() != wanted; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return value.load() == wanted;
}

TEST(PlatformSingleInstance, SecondAcquireFailsAndActivatesTheFirst) {
    std::string name = unique_name("activate");
    auto first = platform::SingleInstance::acquire(name);
    ASSERT_TRUE(first);
    std::atomic<int> activations{0};
    first->on_activation_request([&activations] { ++activations; });
    EXPECT_FALSE(platform::SingleInstance::acquire(name));
    EXPECT_EQ(platform::last_error(), platform::kErrorAlreadyExists);
    EXPECT_FALSE(platform::SingleInstance::acquire(name));
    EXPECT_TRUE(wait_for(activations, 2));
    EXPECT_TRUE(platform::SingleInstance::acquire(unique_name("other")));
    first.reset();
    EXPECT_TRUE(platform::SingleInstance::acquire(name));
}

TEST(PlatformSingleInstance, EachScopeHasASectionOfItsOwn) {
    std::string name = unique_name("scope");
    ::setenv("MORLIN_INSTANCE_SCOPE", "/tmp/run-a", 1);
    auto first = platform::SingleInstance::acquire(name);
    ::setenv("MORLIN_INSTANCE_SCOPE", "/tmp/run-b", 1);
    auto second = platform::SingleInstance::acquire(name);
    EXPECT_FALSE(platform::SingleInstance::acquire(name));
    ::unsetenv("MORLIN_INSTANCE_SCOPE");
    auto unscoped = platform::SingleInstance::acquire(name);
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_TRUE(unscoped);
}

TEST(PlatformSingleInstance, AKilledHolderNeverBlocksTheNextStart) {
    std::string name = unique_name("killed");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        auto held = platform::SingleInstance::acquire(name);
        char byte = held ? 'y' : 'n';
        (void)!::write(ready[1], &byte, 1);
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(byte, 'y');
    EXPECT_FALSE(platform::SingleInstance::acquire(name)); // the child holds it
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    auto next = platform::SingleInstance::acquire(name);
    EXPECT_TRUE(next);
}

} // namespace
