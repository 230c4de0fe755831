#include "platform/foundation/last_error.h"
#include "platform/processes/single_instance.h"
#include "test_support.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using test_support::EnvGuard;
using test_support::TempDir;

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

// Every test keeps its sections in a runtime folder of its own.
class PlatformSingleInstance : public ::testing::Test {
  protected:
    TempDir dir_;
    EnvGuard runtime_{"XDG_RUNTIME_DIR", dir_.file("run").c_str()};
    EnvGuard state_{"XDG_STATE_HOME", dir_.file("state").c_str()};
    EnvGuard scope_{"MORLIN_INSTANCE_SCOPE", nullptr};
    void SetUp() override { std::filesystem::create_directories(dir_.file("run")); }
};

// A child process that takes the section `name` and then waits to be killed (or stopped).
pid_t holder_process(const std::string& name) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    pid_t child = ::fork();
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
    const bool held = child > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 'y';
    ::close(ready[0]);
    return held ? child : -1;
}

TEST_F(PlatformSingleInstance, SecondAcquireFailsAndActivatesTheFirst) {
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

TEST_F(PlatformSingleInstance, EachScopeHasASectionOfItsOwn) {
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

TEST_F(PlatformSingleInstance, AKilledHolderNeverBlocksTheNextStart) {
    std::string name = unique_name("killed");
    pid_t child = holder_process(name);
    ASSERT_GT(child, 0);
    EXPECT_FALSE(platform::SingleInstance::acquire(name)); // the child holds it
    EXPECT_EQ(platform::last_error(), platform::kErrorAlreadyExists);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    auto next = platform::SingleInstance::acquire(name);
    EXPECT_TRUE(next);
}

// A holder that is stopped never reads its activation requests: later starts still end at
// once instead of waiting on it.
TEST_F(PlatformSingleInstance, AStoppedHolderNeverBlocksTheNextStart) {
    std::string name = unique_name("stopped");
    pid_t child = holder_process(name);
    ASSERT_GT(child, 0);
    ::kill(child, SIGSTOP);
    auto starts = std::async(std::launch::async, [&name] {
        int refused = 0;
        for (int start = 0; start < 40; ++start) {
            refused += platform::SingleInstance::acquire(name) == nullptr &&
                       platform::last_error() == platform::kErrorAlreadyExists;
        }
        return refused;
    });
    const bool ended = starts.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::kill(child, SIGKILL); // also frees starts that wait on the holder
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(ended);
    EXPECT_EQ(starts.get(), 40);
}

// The section is a lock file in the user's private runtime folder (else the state folder):
// a name that another user binds where sections used to be named does not stop a start.
TEST_F(PlatformSingleInstance, LivesInTheUsersOwnFolderWhereNoOtherUserCanTakeIt) {
    std::string name = unique_name("folder");
    const std::string squatted = "morlin-" + name + "-" + std::to_string(::getuid());
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, squatted.data(), squatted.size());
    ASSERT_EQ(::bind(squatter, reinterpret_cast<const sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + squatted.size())),
              0);
    ASSERT_EQ(::listen(squatter, 8), 0);
    {
        auto held = platform::SingleInstance::acquire(name);
        EXPECT_TRUE(held);
        namespace fs = std::filesystem;
        EXPECT_EQ(fs::status(dir_.file("run/morlin")).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(dir_.file("run/morlin/" + name + ".lock")).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    ::close(squatter);

    EnvGuard no_runtime("XDG_RUNTIME_DIR", nullptr);
    auto held = platform::SingleInstance::acquire(name);
    EXPECT_TRUE(held);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("state/morlin/" + name + ".lock")));
    EXPECT_FALSE(platform::SingleInstance::acquire(name));
}

// A lock name planted as a symbolic link is not followed.
TEST_F(PlatformSingleInstance, APlantedSymbolicLinkIsNotFollowed) {
    std::string name = unique_name("planted");
    std::filesystem::create_directories(dir_.file("run/morlin"));
    std::filesystem::create_symlink(dir_.file("victim"), dir_.file("run/morlin/" + name + ".lock"));
    EXPECT_FALSE(platform::SingleInstance::acquire(name));
    EXPECT_NE(platform::last_error(), platform::kErrorAlreadyExists);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("victim")));
}

} // namespace
