#include "test_support.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <platform/clock.h>
#include <platform/library.h>
#include <sim/terminal_simulator.h>
#include <vup_plugin.h>
using namespace vupporta::testing;
TEST(Speed, Run) {
    TempFolder devices, files;
    setenv("MORLIN_DEVICES", devices.path().c_str(), 1);
    setenv("MORLIN_REAL_PORTS", "none", 1);
    setenv("MORLIN_TIME_SCALE", getenv("SCALE") ? getenv("SCALE") : "2", 1);
    setenv("MORLIN_INHIBIT", "none", 1);
    auto lib = platform::Library::load(std::string(MORLIN_BIN_DIR) + "/VUPPorta.so");
    auto create =
        reinterpret_cast<PFN_VUPCreateDeviceInfoList>(lib->symbol("VUPCreateDeviceInfoList"));
    auto download = reinterpret_cast<PFN_VUPDownloadFirmware>(lib->symbol("VUPDownloadFirmware"));
    sim::SimulatorOptions o;
    o.devices_dir = devices.path();
    o.line_baud = std::atoi(getenv("BAUD") ? getenv("BAUD") : "0");
    std::size_t size = std::strtoul(getenv("SIZE") ? getenv("SIZE") : "8388608", nullptr, 10);
    o.image_size = static_cast<std::uint32_t>(size);
    auto s = sim::TerminalSimulator::start(o);
    std::array<DeviceInfoEntry, 30> list{};
    ASSERT_EQ(create(list.data(), nullptr), 0);
    auto path = files.write("app.bin", make_image('1', size, "Halvane"));
    int abort_flag = 0;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(download(list.data(), 0, "", path.c_str(), nullptr, &abort_flag), 0);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    printf("size %zu time %.3f s rate %.1f KiB/s, match %d\n", size, secs,
           static_cast<double>(size) / secs / 1024, s->received_image().size() == size);
}
