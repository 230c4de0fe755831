// ReaderSim: a simulated smart-card reader of the maker (docs/simulation.md, sections 7 to
// 11). Prints one READY line with its control address (the DEVICENAME of a reader.conf entry
// for ReaderSimIfd.so) and, when asked for, its serial port name; runs until SIGINT or
// SIGTERM, then removes its announcements.
#include "cli/tool_usage.h"
#include "sim/reader_simulator.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_signal(int) {
    g_stop = 1;
}

constexpr cli::ToolUsage kUsage{
    "ReaderSim",
    "usage: ReaderSim [--name TEXT] [--serial TEXT] [--vid HEX] [--pid HEX]\n"
    "                 [--firmware MAJOR.MINOR (hexadecimal, 5.10)] [--interface]\n"
    "                 [--serial-port] [--port-name COMn] [--hardware-id ID]\n"
    "                 [--devices-dir DIR] [--no-answer] [--zero-identifiers]\n"
    "                 [--status-bit6] [--wait-frames N] [--long-version-only]\n",
    "A simulated smart-card reader (docs/simulation.md).\n"};

bool parse_hex16(const char* text, std::uint16_t& value) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 16);
    if (end == text || *end != '\0' || number > 0xFFFF)
        return false;
    value = static_cast<std::uint16_t>(number);
    return true;
}

bool parse_arguments(int argc, char** argv, sim::ReaderOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* text = nullptr;
        if (flag == "--interface") {
            options.announce_interface = true;
        } else if (flag == "--serial-port") {
            options.serial_port = true;
        } else if (flag == "--no-answer") {
            options.faults.no_answer = true;
        } else if (flag == "--zero-identifiers") {
            options.faults.zero_identifiers = true;
        } else if (flag == "--status-bit6") {
            options.faults.status_bit6 = true;
        } else if (flag == "--long-version-only") {
            options.faults.long_version_only = true;
        } else if ((text = value()) == nullptr) {
            return false;
        } else if (flag == "--name") {
            options.name = text;
        } else if (flag == "--serial") {
            options.serial = text;
        } else if (flag == "--port-name") {
            options.port_name = text;
            options.serial_port = true;
        } else if (flag == "--hardware-id") {
            options.hardware_id = text;
        } else if (flag == "--devices-dir") {
            options.devices_dir = text;
        } else if (flag == "--wait-frames") {
            options.faults.wait_frames =
                static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
        } else if (flag == "--vid" || flag == "--pid") {
            if (!parse_hex16(text, flag == "--vid" ? options.vid : options.pid))
                return false;
        } else if (flag == "--firmware") {
            unsigned major = 0;
            unsigned minor = 0;
            if (std::sscanf(text, "%x.%x", &major, &minor) != 2 || major > 255 || minor > 255)
                return false;
            options.fw_major = static_cast<std::uint8_t>(major);
            options.fw_minor = static_cast<std::uint8_t>(minor);
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto answered =
            cli::answer_help_or_version(kUsage, std::vector<std::string>(argv + 1, argv + argc)))
        return *answered;
    sim::ReaderOptions options;
    if (!parse_arguments(argc, argv, options)) {
        std::fputs(cli::usage_text(kUsage).c_str(), stderr);
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::string error;
    auto reader = sim::ReaderSimulator::start(options, &error);
    if (!reader) {
        std::fprintf(stderr, "ReaderSim: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY control=%s name=\"%s\"%s%s\n", reader->control_address().c_str(),
                options.name.c_str(), options.serial_port ? " port=" : "",
                reader->serial_port_name().c_str());
    std::fflush(stdout);
    while (g_stop == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader->stop();
    return 0;
}
