#pragma once
// Stand-ins for what Valdrun's windows use outside themselves: a housekeeping that records
// its calls, an update tool that ends with a chosen code after a few looks, a detection that
// publishes what the test says, and a record of every tool start, report and set-aside.
#include "tests/common/temp_dir.h"
#include "wrapper/result_codes.h"
#include "wrapper/windows/window_services.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace valdrun_test {

class FakeHousekeeping final : public valdrun::Housekeeping {
  public:
    int stop_code = 0;
    bool service_restart_ok = true;

    valdrun::HousekeepingState held;
    std::vector<std::string> calls;

    int stop_for_update(bool terminal, int) override {
        calls.push_back(terminal ? "stop terminal" : "stop reader");
        return stop_code;
    }
    bool restart_service(int) override {
        calls.push_back("restart service");
        return service_restart_ok;
    }
    bool restart_process() override {
        calls.push_back("restart process");
        return true;
    }
    const valdrun::HousekeepingState& state() const override { return held; }
    bool check_if_already_installed_and_remove_if(std::string_view, bool, bool) override {
        return false;
    }
    bool request_restart(bool shutdown, int) override {
        calls.push_back(shutdown ? "shutdown" : "reboot");
        return true;
    }
};

// Ends with `code` at the third look, and not while `hold` is set.
class FakeTool final : public valdrun::ToolProcess {
  public:
    FakeTool(int code, const std::atomic<bool>& hold) : code_(code), hold_(hold) {}
    std::optional<int> exit_code() override {
        return ++looks_ < 3 || hold_.load() ? std::nullopt : std::optional(code_);
    }

  private:
    int code_;
    const std::atomic<bool>& hold_;
    int looks_ = 0;
};

// The services of one window run, every call recorded.
struct RecordedServices {
    FakeHousekeeping housekeeping;
    valdrun::WindowServices services{housekeeping};
    std::optional<int> tool_exit = 0; // nothing: the tool cannot be started
    std::atomic<bool> hold_tool{false};
    int tool_starts = 0;
    std::vector<int> reports;
    std::vector<std::string> set_aside;
    std::optional<valdrun::PassOutcome> first_pass; // published when detection starts
    bool detection_running = false;

    RecordedServices() {
        services.start_tool =
            [this](const std::string&, const std::string&, const std::string&,
                   std::uint32_t& error) -> std::unique_ptr<valdrun::ToolProcess> {
            ++tool_starts;
            if (!tool_exit) {
                error = 2;
                return nullptr;
            }
            return std::make_unique<FakeTool>(*tool_exit, hold_tool);
        };
        services.write_report = [this](valdrun::RunRecord&, int code) { reports.push_back(code); };
        services.set_aside = [this](const std::string&, const std::string& pattern) {
            set_aside.push_back(pattern);
            return std::vector<std::uint32_t>{};
        };
        services.bring_back = [](const std::string&) {};
        services.start_detection = [this](valdrun::RunRecord& record) {
            detection_running = true;
            if (first_pass)
                record.publish(*first_pass);
        };
        services.stop_detection = [this] { detection_running = false; };
    }
};

inline valdrun::PassOutcome pass(int result, int readers = 1) {
    valdrun::PassOutcome outcome;
    outcome.result = result;
    outcome.reader_count = readers;
    return outcome;
}

// Descriptions beside a program in a test folder.
inline constexpr const char* kUsbReader = "[ReaderDetails]\nReaderName=Ostrum Kartenleser\n"
                                          "VID=04E6\nPID=5720\nFWVER=5.10\n"
                                          "Descriptor=Kartenleser K5\nFWUpdateTool=FWUpdate\n"
                                          "CmdLineParameter=-s fw.bin\n";
inline constexpr const char* kSerialReader = "[ReaderDetails]\nReaderName2=Ostrum Serial\n"
                                             "HardwareID=SERENUM\\OST5720\nFWVER=5.10\n"
                                             "Descriptor=Kartenleser S5\n";
inline constexpr const char* kTerminal = "[ReaderDetails]\nTerminalName=Halvane\nVID=04E6\n"
                                         "PID=1A02\nFWVER=2.1.4\nAPPVER=1.5\n"
                                         "Descriptor=Halvane\nFWUpdateTool=FWUpdate\n";
// A serial port list for descriptions of the serial reader.
inline constexpr const char* kSerialPorts =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n"
    "\"\\\\Device\\\\Serial0\"=\"COM1\"\r\n";

} // namespace valdrun_test
