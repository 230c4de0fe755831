#pragma once
// A private D-Bus daemon in the place of the system bus, with python3-dbusmock's stand-ins for
// the machine's services on it: systemd (units whose stop and start each test decides) and
// logind (Reboot and PowerOff only logged). While the object lives DBUS_SYSTEM_BUS_ADDRESS
// names the private bus, so the code under test talks to the stand-ins exactly as it would to
// the machine's services, and never reaches those. A test skips when started() is false.
//
//     morlin_test::PrivateSystemBus bus;
//     if (!bus.started() || !bus.add_systemd() || !bus.add_logind()) GTEST_SKIP() << bus.why_not();
//     bus.add_unit({"pcscd.service", "active", {{"TriggeredBy", {"pcscd.socket"}}}});
//     ... run the code ...
//     EXPECT_EQ(bus.unit_jobs("StopUnit"), (std::vector<std::string>{"pcscd.socket", ...}));
//
// Link PkgConfig::LIBSYSTEMD (sd-bus) into the test.
#include "tests/common/temp_dir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace morlin_test {

struct MockUnit {
    MockUnit(std::string unit_name, std::string state = "active",
             std::map<std::string, std::vector<std::string>> unit_dependencies = {},
             std::string stop = "stop", std::string start = "start")
        : name(std::move(unit_name)), active_state(std::move(state)),
          dependencies(std::move(unit_dependencies)), on_stop(std::move(stop)),
          on_start(std::move(start)) {}

    std::string name;
    std::string active_state = "active"; // inactive, deactivating, failed, ...
    // Dependency properties of the unit: "RequiredBy", "BoundBy", "TriggeredBy", "WantedBy"...
    std::map<std::string, std::vector<std::string>> dependencies;
    std::string on_stop = "stop";   // "refuse": StopUnit fails; "hang": it stays deactivating
    std::string on_start = "start"; // "refuse": StartUnit fails
};

class PrivateSystemBus {
  public:
    static constexpr const char* kSystemd = "org.freedesktop.systemd1";
    static constexpr const char* kSystemdPath = "/org/freedesktop/systemd1";
    static constexpr const char* kLogind = "org.freedesktop.login1";
    static constexpr const char* kLogindPath = "/org/freedesktop/login1";
    static constexpr const char* kMock = "org.freedesktop.DBus.Mock";
    static constexpr const char* kUnit = "org.freedesktop.systemd1.Unit";

    PrivateSystemBus() {
        const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (old != nullptr)
            old_address_ = old;
        start_daemon();
    }
    ~PrivateSystemBus() {
        if (bus_ != nullptr)
            sd_bus_flush_close_unref(bus_);
        for (const pid_t mock : mocks_)
            end(mock);
        end(daemon_);
        if (old_address_)
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", old_address_->c_str(), 1);
        else
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool started() const { return bus_ != nullptr; }
    const std::string& why_not() const { return why_not_; }
    const std::string& address() const { return address_; }
    const std::filesystem::path& folder() const { return folder_.path(); }

    // The stand-ins; each waits until its name is owned. StopUnit and StartUnit of the
    // systemd stand-in are replaced by ones that log their calls and obey MockUnit's on_stop
    // and on_start (the template's own do neither).
    bool add_systemd() { return add_template("systemd", kSystemd) && install_unit_jobs(); }
    bool add_logind() { return add_template("logind", kLogind); }

    // Forgets every unit and logged call (and the job methods, put back at once).
    bool reset_systemd() {
        return call(kSystemd, kSystemdPath, kMock, "Reset", "") &&
               call(kSystemd, kSystemdPath, kMock, "ClearCalls", "") && install_unit_jobs();
    }
    bool reset_logind() { return call(kLogind, kLogindPath, kMock, "ClearCalls", ""); }

    bool add_unit(const MockUnit& unit) {
        if (!call(kSystemd, kSystemdPath, kMock, "AddMockUnit", "s", unit.name.c_str()))
            return false;
        const std::string path = unit_path(unit.name);
        sd_bus_message* message = nullptr;
        sd_bus_message_new_method_call(bus_, &message, kSystemd, path.c_str(), kMock,
                                       "UpdateProperties");
        sd_bus_message_append(message, "s", kUnit);
        sd_bus_message_open_container(message, 'a', "{sv}");
        append_text(message, "ActiveState", unit.active_state);
        sd_bus_message_close_container(message);
        bool done = send(message);
        sd_bus_message_new_method_call(bus_, &message, kSystemd, path.c_str(), kMock,
                                       "AddProperties");
        sd_bus_message_append(message, "s", kUnit);
        sd_bus_message_open_container(message, 'a', "{sv}");
        for (const auto& [name, units] : unit.dependencies) {
            sd_bus_message_open_container(message, 'e', "sv");
            sd_bus_message_append(message, "s", name.c_str());
            sd_bus_message_open_container(message, 'v', "as");
            sd_bus_message_open_container(message, 'a', "s");
            for (const std::string& dependent : units)
                sd_bus_message_append(message, "s", dependent.c_str());
            sd_bus_message_close_container(message);
            sd_bus_message_close_container(message);
            sd_bus_message_close_container(message);
        }
        append_text(message, "MockStop", unit.on_stop);
        append_text(message, "MockStart", unit.on_start);
        sd_bus_message_close_container(message);
        return send(message) && done;
    }

    // The unit names of the StopUnit or StartUnit calls, in the order they came.
    std::vector<std::string> unit_jobs(const char* method) {
        return first_arguments(kSystemd, kSystemdPath, method);
    }
    // The "interactive" arguments of logind's Reboot or PowerOff calls ("false", "true").
    std::vector<std::string> power_requests(const char* method) {
        return first_arguments(kLogind, kLogindPath, method);
    }

    std::string active_state(const std::string& unit) {
        char* value = nullptr;
        sd_bus_error error{};
        const int result = sd_bus_get_property_string(bus_, kSystemd, unit_path(unit).c_str(),
                                                      kUnit, "ActiveState", &error, &value);
        sd_bus_error_free(&error);
        std::string text = result >= 0 && value != nullptr ? value : "";
        std::free(value);
        return text;
    }

    // A method call on the bus; false (why_not() says why) when it failed.
    template <typename... Args>
    bool call(const char* destination, const char* path, const char* interface, const char* member,
              const char* types, Args... args) {
        sd_bus_error error{};
        const int result = sd_bus_call_method(bus_, destination, path, interface, member, &error,
                                              nullptr, types, args...);
        if (result < 0)
            why_not_ = std::string(member) + ": " +
                       (error.message != nullptr ? error.message : std::strerror(-result));
        sd_bus_error_free(&error);
        return result >= 0;
    }

  private:
    static std::string unit_path(const std::string& unit) {
        std::string escaped = unit;
        for (char& c : escaped)
            c = (c == '.' || c == '-') ? '_' : c;
        return std::string(kSystemdPath) + "/unit/" + escaped;
    }

    static void append_text(sd_bus_message* message, const char* name, const std::string& value) {
        sd_bus_message_append(message, "{sv}", name, "s", value.c_str());
    }

    bool send(sd_bus_message* message) {
        sd_bus_error error{};
        const int result = sd_bus_call(bus_, message, 0, &error, nullptr);
        if (result < 0)
            why_not_ = error.message != nullptr ? error.message : std::strerror(-result);
        sd_bus_error_free(&error);
        sd_bus_message_unref(message);
        return result >= 0;
    }

    bool install_unit_jobs() {
        static constexpr const char* kStop =
            "unit = objects[self.units[args[0]]]\n"
            "how = unit.props['org.freedesktop.systemd1.Unit'].get('MockStop', 'stop')\n"
            "if how == 'refuse':\n"
            "    raise dbus.exceptions.DBusException('refused', "
            "name='org.freedesktop.systemd1.OperationRefused')\n"
            "unit.UpdateProperties('org.freedesktop.systemd1.Unit', "
            "{'ActiveState': 'deactivating' if how == 'hang' else 'inactive'})\n"
            "ret = '/org/freedesktop/systemd1/job/1'\n";
        static constexpr const char* kStart =
            "unit = objects[self.units[args[0]]]\n"
            "if unit.props['org.freedesktop.systemd1.Unit'].get('MockStart', 'start') == "
            "'refuse':\n"
            "    raise dbus.exceptions.DBusException('refused', "
            "name='org.freedesktop.systemd1.OperationRefused')\n"
            "unit.UpdateProperties('org.freedesktop.systemd1.Unit', {'ActiveState': 'active'})\n"
            "ret = '/org/freedesktop/systemd1/job/1'\n";
        const char* manager = "org.freedesktop.systemd1.Manager";
        return call(kSystemd, kSystemdPath, kMock, "AddMethod", "sssss", manager, "StopUnit", "ss",
                    "o", kStop) &&
               call(kSystemd, kSystemdPath, kMock, "AddMethod", "sssss", manager, "StartUnit", "ss",
                    "o", kStart);
    }

    // The first argument of each logged call of `method`, as text.
    std::vector<std::string> first_arguments(const char* destination, const char* path,
                                             const char* method) {
        std::vector<std::string> found;
        sd_bus_error error{};
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_, destination, path, kMock, "GetMethodCalls", &error, &reply,
                               "s", method) >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(tav)") > 0) {
            while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
                std::uint64_t when = 0;
                sd_bus_message_read(reply, "t", &when);
                sd_bus_message_enter_container(reply, 'a', "v");
                found.push_back(first_variant_text(reply));
                sd_bus_message_exit_container(reply);
                sd_bus_message_exit_container(reply);
            }
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return found;
    }

    // Reads the array of variants to its end; the first one as text.
    static std::string first_variant_text(sd_bus_message* reply) {
        std::string text;
        bool first = true;
        const char* contents = nullptr;
        while (sd_bus_message_peek_type(reply, nullptr, &contents) > 0) {
            if (first && contents != nullptr && (*contents == 's' || *contents == 'o')) {
                const char* value = nullptr;
                sd_bus_message_read(reply, "v", contents, &value);
                text = value != nullptr ? value : "";
            } else if (first && contents != nullptr && *contents == 'b') {
                int value = 0;
                sd_bus_message_read(reply, "v", "b", &value);
                text = value != 0 ? "true" : "false";
            } else {
                sd_bus_message_skip(reply, "v");
            }
            first = false;
        }
        return text;
    }

    void start_daemon() {
        const auto socket = folder_.path() / "system_bus_socket";
        write_text(folder_.path() / "bus.conf",
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:path=" +
                       socket.string() +
                       "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        const std::string config = "--config-file=" + (folder_.path() / "bus.conf").string();
        daemon_ = spawn({"dbus-daemon", config.c_str(), "--nofork", "--nopidfile"}, "dbus-daemon");
        address_ = "unix:path=" + socket.string();
        // The socket file appears before the daemon listens on it: connect until it answers.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!connect() && std::chrono::steady_clock::now() < deadline && running(daemon_))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (bus_ == nullptr) {
            why_not_ = "no private bus: " + read_text(folder_.path() / "dbus-daemon.log");
            return;
        }
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    }

    bool connect() {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0)
            return false;
        if (sd_bus_set_address(bus, address_.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
            sd_bus_start(bus) < 0) {
            sd_bus_flush_close_unref(bus);
            return false;
        }
        bus_ = bus;
        return true;
    }

    bool add_template(const char* name, const char* bus_name) {
        if (!started())
            return false;
        const pid_t mock =
            spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", name}, name);
        mocks_.push_back(mock);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline && running(mocks_.back())) {
            sd_bus_error error{};
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                                   bus_name) >= 0)
                sd_bus_message_read(reply, "b", &owned);
            sd_bus_error_free(&error);
            sd_bus_message_unref(reply);
            if (owned != 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        why_not_ = std::string("python3-dbusmock's ") + name +
                   " did not start: " + read_text(folder_.path() / (std::string(name) + ".log"));
        return false;
    }

    // Starts a program with the private bus as its system bus; its output goes to <log>.log.
    pid_t spawn(std::vector<const char*> arguments, const std::string& log) {
        const std::string log_path = (folder_.path() / (log + ".log")).string();
        arguments.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!address_.empty())
                ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
            std::freopen(log_path.c_str(), "w", stdout);
            std::freopen(log_path.c_str(), "a", stderr);
            ::execvp(arguments[0], const_cast<char* const*>(arguments.data()));
            ::_exit(127);
        }
        return pid;
    }

    // Whether it still runs; one that has ended is reaped and forgotten.
    static bool running(pid_t& pid) {
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, WNOHANG) != 0)
            pid = -1;
        return pid > 0;
    }

    static void end(pid_t pid) {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }

    TempDir folder_;
    std::optional<std::string> old_address_;
    std::string address_;
    std::string why_not_;
    pid_t daemon_ = -1;
    std::vector<pid_t> mocks_;
    sd_bus* bus_ = nullptr;
};

} // namespace morlin_test
