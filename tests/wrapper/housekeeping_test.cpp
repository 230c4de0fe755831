// The machine's housekeeping against stand-ins: systemd and logind are python3-dbusmock's on a
// private bus, the zkaservice.exe and pcscd processes are the test's own copies of sleep (the
// process table is limited to the test's descendants), the serial reader is the simulator.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/process_table.h"
#include "sim/reader_simulator.h"
#include "tests/common/dummy_process.h"
#include "tests/common/private_system_bus.h"
#include "tests/common/temp_dir.h"
#include "wrapper/housekeeping/device_instance.h"
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/housekeeping/stop_record.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

using morlin_test::DummyProcess;
using morlin_test::MockUnit;
using Units = std::vector<std::string>;

constexpr int kXp = 5;
constexpr int kWindows98 = 2;

const morlin_test::TempDir& scratch() {
    static morlin_test::TempDir dir;
    return dir;
}

const bool environment_ready = [] {
    ::setenv("MORLIN_PROCESS_SCOPE", std::to_string(::getpid()).c_str(), 1);
    ::setenv("MORLIN_DEVICES", (scratch().path() / "devices").c_str(), 1);
    ::setenv("MORLIN_REAL_PORTS", "none", 1);
    ::setenv("MORLIN_RUNTIME_FOLDER", scratch().path().c_str(), 1); // the stop record's folder
    ::setenv("MORLIN_REGISTRY", (scratch().path() / "registry.reg").c_str(), 1);
    std::filesystem::create_directories(scratch().path() / "devices");
    return true;
}();

// The zkaservice.exe (and pcscd) processes of this test that run, with their folders.
std::vector<std::string> running_named(const std::string& name) {
    std::vector<std::string> folders;
    for (const auto& process :
         platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
        if (process.name == name) {
            const auto cwd = "/proc/" + std::to_string(process.id) + "/cwd";
            folders.push_back(std::filesystem::read_symlink(cwd).string());
        }
    }
    return folders;
}

// Ends the processes of that name that the code under test started for this test.
void end_started(const std::string& name) {
    for (const auto& process :
         platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
        if (process.name == name) {
            EXPECT_TRUE(platform::end_process(process.id));
        }
    }
}

class Housekeeping : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus_.started() || !bus_.add_systemd())
            GTEST_SKIP() << "no private system bus with systemd's stand-in: " << bus_.why_not();
        housekeeping_ = valdrun::system_housekeeping();
    }
    void TearDown() override { platform::set_time_scale_percent(0); }

    void add_units(const std::vector<MockUnit>& units) {
        for (const MockUnit& unit : units)
            ASSERT_TRUE(bus_.add_unit(unit)) << bus_.why_not();
    }

    morlin_test::PrivateSystemBus bus_;
    std::unique_ptr<valdrun::Housekeeping> housekeeping_;
};

// ---- the smart-card service ---------------------------------------------------------------

TEST_F(Housekeeping, StopsTheServiceAfterItsDependentsAndStartsThemAgainInReverse) {
    add_units({{"pcscd.service",
                "active",
                {{"RequiredBy", {"reader-agent.service", "idle.service"}},
                 {"TriggeredBy", {"pcscd.socket"}},
                 {"WantedBy", {"multi-user.target"}}}},
               {"reader-agent.service", "active", {{"BoundBy", {"agent-helper.service"}}}},
               {"agent-helper.service", "active"},
               {"idle.service", "inactive"},
               {"pcscd.socket", "active"},
               {"multi-user.target", "active"}});

    EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 0);
    const Units dependents{"agent-helper.service", "reader-agent.service", "pcscd.socket"};
    EXPECT_EQ(housekeeping_->state().dependents, dependents);
    EXPECT_TRUE(housekeeping_->state().service_stopped);
    Units stopped = dependents;
    stopped.push_back("pcscd.service");
    EXPECT_EQ(bus_.unit_jobs("StopUnit"), stopped);
    EXPECT_EQ(bus_.active_state("multi-user.target"), "active");

    EXPECT_TRUE(housekeeping_->restart_service(kXp));
    EXPECT_TRUE(housekeeping_->state().service_restarted);
    EXPECT_EQ(bus_.unit_jobs("StartUnit"), (Units{"pcscd.service", "pcscd.socket",
                                                  "reader-agent.service", "agent-helper.service"}));
}

// A socket-activated pcscd that exited on its own: the service is left alone, but its
// listening socket is stopped too (or a smart-card client would start pcscd under the update
// tool) and is the one thing started again.
TEST_F(Housekeeping, AServiceAlreadyStoppedOrStoppingIsLeftAloneButItsActiveSocketIsStopped) {
    for (const char* state : {"inactive", "failed", "deactivating"}) {
        SCOPED_TRACE(state);
        ASSERT_TRUE(bus_.reset_systemd()) << bus_.why_not();
        add_units({{"pcscd.service", state, {{"TriggeredBy", {"pcscd.socket"}}}},
                   {"pcscd.socket", "active"}});
        const auto housekeeping = valdrun::system_housekeeping();
        EXPECT_EQ(housekeeping->stop_for_update(false, kXp), 0);
        EXPECT_TRUE(housekeeping->state().service_stopped);
        EXPECT_EQ(bus_.unit_jobs("StopUnit"), Units{"pcscd.socket"});
        EXPECT_TRUE(housekeeping->restart_service(kXp));
        EXPECT_EQ(bus_.unit_jobs("StartUnit"), Units{"pcscd.socket"});
    }
}

TEST_F(Housekeeping, EightDependentsAreStoppedNineStopNothingWith1051) {
    for (const std::size_t count : {8u, 9u}) {
        SCOPED_TRACE(count);
        ASSERT_TRUE(bus_.reset_systemd()) << bus_.why_not();
        Units names;
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back("dependent-" + std::to_string(i) + ".service");
            add_units({{names.back(), "active"}});
        }
        add_units({{"pcscd.service", "active", {{"RequiredBy", names}}}});
        const auto housekeeping = valdrun::system_housekeeping();
        const int result = housekeeping->stop_for_update(false, kXp);
        if (count == 8) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(housekeeping->state().dependents, names);
        } else {
            EXPECT_EQ(result, 9);
            EXPECT_EQ(housekeeping->state().error, 1051u);
            EXPECT_TRUE(bus_.unit_jobs("StopUnit").empty());
            EXPECT_FALSE(housekeeping->state().service_stopped);
        }
    }
}

struct StopFault {
    const char* what;
    const char* socket_on_stop;
    const char* service_on_stop;
    std::uint32_t error;
    Units dependents_recorded;
};

class StopFaults : public Housekeeping, public ::testing::WithParamInterface<StopFault> {};

TEST_P(StopFaults, FailTheStopWithTheSystemError) {
    const StopFault& fault = GetParam();
    platform::set_time_scale_percent(1); // the 30 s limit passes in 300 ms
    add_units(
        {{"pcscd.service", "active", {{"TriggeredBy", {"pcscd.socket"}}}, fault.service_on_stop},
         {"pcscd.socket", "active", {}, fault.socket_on_stop}});
    const std::uint64_t start = platform::monotonic_ms();
    EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 9);
    EXPECT_LT(platform::monotonic_ms() - start, 5000u);
    EXPECT_EQ(housekeeping_->state().error, fault.error);
    EXPECT_EQ(housekeeping_->state().dependents, fault.dependents_recorded);
    EXPECT_FALSE(housekeeping_->state().service_stopped);
}

INSTANTIATE_TEST_SUITE_P(
    Housekeeping, StopFaults,
    ::testing::Values(StopFault{"dependent_refuses", "refuse", "stop", 1061, {}},
                      StopFault{"dependent_does_not_stop", "hang", "stop", 1460, {"pcscd.socket"}},
                      StopFault{"service_does_not_stop", "stop", "hang", 1460, {"pcscd.socket"}}),
    [](const ::testing::TestParamInfo<StopFault>& test) { return std::string(test.param.what); });

TEST_F(Housekeeping, RestartIgnoresADependentThatDoesNotStartButNotTheService) {
    for (const bool service_refuses : {false, true}) {
        SCOPED_TRACE(service_refuses);
        ASSERT_TRUE(bus_.reset_systemd()) << bus_.why_not();
        add_units({{"pcscd.service",
                    "active",
                    {{"TriggeredBy", {"pcscd.socket"}}},
                    "stop",
                    service_refuses ? "refuse" : "start"},
                   {"pcscd.socket", "active", {}, "stop", "refuse"}});
        const auto housekeeping = valdrun::system_housekeeping();
        ASSERT_EQ(housekeeping->stop_for_update(false, kXp), 0);
        EXPECT_EQ(housekeeping->restart_service(kXp), !service_refuses);
        const Units started =
            service_refuses ? Units{"pcscd.service"} : Units{"pcscd.service", "pcscd.socket"};
        EXPECT_EQ(bus_.unit_jobs("StartUnit"), started);
    }
}

TEST_F(Housekeeping, WithoutASystemBusTheStopFailsAtOnce) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + scratch().file("no-bus")).c_str(), 1);
    const std::uint64_t start = platform::monotonic_ms();
    EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 9);
    EXPECT_EQ(housekeeping_->state().error, 1722u);
    EXPECT_FALSE(housekeeping_->restart_service(kXp));
    EXPECT_FALSE(housekeeping_->request_restart(false, kXp));
    EXPECT_LT(platform::monotonic_ms() - start, 2000u);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_.address().c_str(), 1);
}

TEST_F(Housekeeping, RestartAndShutdownAskLogindWithoutForcing) {
    ASSERT_TRUE(bus_.add_logind()) << bus_.why_not();
    EXPECT_TRUE(housekeeping_->request_restart(false, kXp));
    EXPECT_EQ(bus_.power_requests("Reboot"), Units{"false"});
    EXPECT_TRUE(bus_.power_requests("PowerOff").empty());
    EXPECT_TRUE(housekeeping_->request_restart(true, kWindows98));
    EXPECT_EQ(bus_.power_requests("PowerOff"), Units{"false"});
    EXPECT_EQ(bus_.power_requests("Reboot"), Units{"false"});
}

// ---- zkaservice.exe and the OS type 2 process route ---------------------------------------

TEST_F(Housekeeping, EndsEveryZkaserviceAndRestartsTheLastOneFromItsFolder) {
    platform::set_time_scale_percent(1); // the grace before SIGKILL
    add_units({{"pcscd.service", "inactive"}});
    DummyProcess first(scratch().path() / "first", "zkaservice.exe");
    DummyProcess stubborn(scratch().path() / "stubborn", "zkaservice.exe", true);
    const DummyProcess& last = first.pid() > stubborn.pid() ? first : stubborn;
    const std::string last_path = last.path();

    EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 0);
    EXPECT_FALSE(first.running());
    EXPECT_FALSE(stubborn.running());
    EXPECT_TRUE(housekeeping_->state().process_ended);
    EXPECT_EQ(housekeeping_->state().process_path, last_path);

    EXPECT_TRUE(housekeeping_->restart_process());
    EXPECT_TRUE(housekeeping_->state().process_restarted);
    EXPECT_EQ(running_named("zkaservice.exe"),
              Units{std::filesystem::path(last_path).parent_path().string()});
    end_started("zkaservice.exe");
}

// The program file is held from the stop: one put in its place afterwards is not what runs,
// and the process started again has /dev/null for its standard handles.
TEST_F(Housekeeping, RestartsTheFileItCheckedDetachedAndNeverAZombieOrAnUntrustedFile) {
    add_units({{"pcscd.service", "inactive"}});
    DummyProcess companion(scratch().path() / "held", "zkaservice.exe");
    DummyProcess zombie(scratch().path() / "zombie", "zkaservice.exe");
    ::kill(zombie.pid(), SIGKILL); // not reaped: a zombie that has no program file any more
    while (platform::process_alive(static_cast<std::uint32_t>(zombie.pid())))
        platform::sleep_ms(10);
    EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 0);
    EXPECT_EQ(housekeeping_->state().process_path, companion.path());
    EXPECT_FALSE(zombie.running()); // reaped now
    const std::string swapped = companion.path() + ".planted";
    morlin_test::write_text(swapped, "#!/bin/sh\ntouch planted-ran\n");
    std::filesystem::permissions(swapped, std::filesystem::perms::owner_all);
    std::filesystem::rename(swapped, companion.path());
    EXPECT_TRUE(housekeeping_->restart_process());
    platform::sleep_ms(200);
    EXPECT_FALSE(std::filesystem::exists(scratch().path() / "held" / "planted-ran"));
    for (const auto& process :
         platform::process_snapshot().value_or(std::vector<platform::ProcessEntry>{})) {
        if (process.name != "zkaservice.exe" || process.zombie)
            continue;
        for (const char* handle : {"0", "1", "2"}) {
            EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(process.id) + "/fd/" +
                                                    handle),
                      "/dev/null");
        }
    }
    end_started("zkaservice.exe");

    // A program file that others may write is ended but never started again.
    DummyProcess writable(scratch().path() / "writable", "zkaservice.exe");
    std::filesystem::permissions(writable.path(), std::filesystem::perms::all);
    const auto second = valdrun::system_housekeeping();
    EXPECT_EQ(second->stop_for_update(false, kXp), 0);
    EXPECT_FALSE(writable.running());
    EXPECT_FALSE(second->restart_process());
    EXPECT_TRUE(running_named("zkaservice.exe").empty());
}

// A stop record left by a run that was killed: the next start starts those again, the service
// first, and removes the record.
TEST_F(Housekeeping, AStopRecordLeftBehindIsStartedAgainAtTheNextStart) {
    add_units({{"pcscd.service", "active", {{"TriggeredBy", {"pcscd.socket"}}}},
               {"pcscd.socket", "active"}});
    {
        DummyProcess companion(scratch().path() / "recorded", "zkaservice.exe");
        EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 0);
    }
    const std::string record = valdrun::stop_record_path();
    ASSERT_TRUE(std::filesystem::exists(record)) << record;
    EXPECT_TRUE(valdrun::restart_what_an_earlier_run_left_stopped());
    EXPECT_EQ(bus_.unit_jobs("StartUnit"), (Units{"pcscd.service", "pcscd.socket"}));
    EXPECT_EQ(running_named("zkaservice.exe"), Units{(scratch().path() / "recorded").string()});
    EXPECT_FALSE(std::filesystem::exists(record));
    EXPECT_FALSE(valdrun::restart_what_an_earlier_run_left_stopped());
    end_started("zkaservice.exe");
}

TEST_F(Housekeeping, TheShortNameIsLookedForWhenNoZkaserviceRuns) {
    add_units({{"pcscd.service", "inactive"}});
    {
        DummyProcess short_name(scratch().path() / "short", "ZKASER~1.EXE");
        EXPECT_EQ(housekeeping_->stop_for_update(false, kXp), 0);
        EXPECT_FALSE(short_name.running());
        EXPECT_EQ(housekeeping_->state().process_path, short_name.path());
    }
    const auto nothing_running = valdrun::system_housekeeping();
    EXPECT_EQ(nothing_running->stop_for_update(false, kXp), 0);
    EXPECT_FALSE(nothing_running->state().process_ended);
}

TEST_F(Housekeeping, OsType2EndsTheServiceProcessLeavesZkaserviceAndStartsTheRegisteredCommand) {
    add_units({{"pcscd.service", "active"}});
    DummyProcess zkaservice(scratch().path() / "zka", "zkaservice.exe");
    DummyProcess service(scratch().path() / "service", "pcscd");
    EXPECT_EQ(housekeeping_->stop_for_update(false, kWindows98), 0);
    EXPECT_FALSE(service.running());
    EXPECT_TRUE(zkaservice.running());
    EXPECT_TRUE(housekeeping_->state().service_stopped);
    EXPECT_FALSE(housekeeping_->state().process_ended);
    EXPECT_TRUE(bus_.unit_jobs("StopUnit").empty());

    morlin_test::write_text(
        scratch().path() / "registry.reg",
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices]\n"
        "\"SCardSvr\"=\"\\\"" +
            service.path() + "\\\" 300\"\n");
    EXPECT_TRUE(housekeeping_->restart_service(kWindows98));
    EXPECT_EQ(running_named("pcscd").size(), 1u);
    end_started("pcscd");
}

// ---- the serial reader's device instance ---------------------------------------------------

TEST(DeviceInstance, TheSerialReaderIsFoundIgnoringCaseAndItsAnnouncementWithdrawn) {
    sim::ReaderOptions options;
    options.serial_port = true;
    options.hardware_id = "SERENUM\\OST5720";
    std::string error;
    const auto reader = sim::ReaderSimulator::start(options, &error);
    ASSERT_TRUE(reader) << error;
    const auto announcements = [] {
        return std::distance(std::filesystem::directory_iterator(scratch().path() / "devices"),
                             std::filesystem::directory_iterator());
    };
    ASSERT_EQ(announcements(), 1);

    EXPECT_FALSE(valdrun::find_device_instance("SERENUM\\OST9999", true, true));
    EXPECT_TRUE(valdrun::find_device_instance("serenum\\ost5720", false, true));
    EXPECT_EQ(announcements(), 1);
    EXPECT_TRUE(valdrun::find_device_instance("serenum\\ost5720", true, true));
    EXPECT_EQ(announcements(), 0);
    EXPECT_FALSE(valdrun::find_device_instance("SERENUM\\OST5720", false, true));
}

} // namespace
