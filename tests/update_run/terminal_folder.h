#pragma once
// A test's Morlin folder with the terminal plug-in VUPPorta beside a simulated terminal, whose
// protocol waits run at a tenth of real time.
#include "platform/foundation/clock.h"
#include "sim/terminal_simulator.h"
#include "tests/update_run/morlin_run.h"

#include <gtest/gtest.h>

namespace morlin::test {

class TerminalFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::set_time_scale_percent(10);
        folder_.add_library(std::string(MORLIN_BIN_DIR) + "/VUPPorta.so", "VUPPorta.so");
        std::filesystem::create_directories(folder_.file("devices"));
    }
    void TearDown() override {
        if (terminal_) {
            terminal_->stop();
        }
        platform::set_time_scale_percent(0);
    }

    void start_terminal(sim::SimulatorOptions options = {}) {
        options.devices_dir = folder_.file("devices");
        std::string error;
        terminal_ = sim::TerminalSimulator::start(options, &error);
        ASSERT_TRUE(terminal_) << error;
    }

    MorlinFolder folder_;
    std::unique_ptr<sim::TerminalSimulator> terminal_;
};

} // namespace morlin::test
