// HalvaneSim: a simulated Halvane or Pellax terminal behind an RFC 2217 port, announced in
// the devices folder. Prints one READY line, runs until SIGINT or SIGTERM (or the first
// complete download with --exit-after-download), then removes its announcement and
// confirms what it received.
#include "sim/scenario.h"
#include "sim/sha256.h"
#include "sim/terminal_simulator.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_signal(int) {
    g_stop = 1;
}

void usage() {
    std::fputs("usage: HalvaneSim [--scenario FILE] [--KEY=VALUE | --KEY VALUE]...\n"
               "  Every key of a scenario file is also an option (see docs/simulation.md),\n"
               "  for example --model pellax --port-name COM7 --image-out received.bin\n"
               "  --line-baud 57600 --download-states 4,1 --exit-after-download yes\n",
               stderr);
}

bool parse_arguments(int argc, char** argv, sim::Scenario& scenario) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            usage();
            return false;
        }
        if (argument.rfind("--", 0) != 0) {
            std::fprintf(stderr, "HalvaneSim: unexpected argument \"%s\"\n", argument.c_str());
            return false;
        }
        argument.erase(0, 2);
        std::string key = argument;
        std::string value;
        const auto equals = argument.find('=');
        if (equals != std::string::npos) {
            key = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        } else if (key == "exit-after-download" || key == "exit_after_download") {
            value = "yes";
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "HalvaneSim: --%s needs a value\n", key.c_str());
            return false;
        }
        std::string error;
        const bool ok = key == "scenario" ? sim::apply_scenario_file(scenario, value, error)
                                          : sim::apply_setting(scenario, key, value, error);
        if (!ok) {
            std::fprintf(stderr, "HalvaneSim: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

bool write_image(const std::string& path, const std::vector<std::uint8_t>& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    sim::Scenario scenario;
    if (!parse_arguments(argc, argv, scenario)) {
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    std::string error;
    auto simulator = sim::TerminalSimulator::start(scenario.options, &error);
    if (!simulator) {
        std::fprintf(stderr, "HalvaneSim: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY port=%u device=%s name=%s\n", unsigned{simulator->port()},
                simulator->announcement_path().c_str(), simulator->port_name().c_str());
    std::fflush(stdout);

    while (g_stop == 0) {
        if (scenario.exit_after_download &&
            simulator->wait_for_downloads(1, std::chrono::milliseconds(50))) {
            break;
        }
        if (!scenario.exit_after_download) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    simulator->stop();

    const std::vector<std::uint8_t> image = simulator->received_image();
    int result = 0;
    std::string target = "(not written)";
    if (!scenario.image_out.empty() && simulator->downloads_completed() > 0) {
        if (write_image(scenario.image_out, image)) {
            target = scenario.image_out;
        } else {
            std::fprintf(stderr, "HalvaneSim: cannot write %s\n", scenario.image_out.c_str());
            result = 1;
        }
    }
    if (simulator->downloads_completed() > 0) {
        std::printf("RECEIVED %zu bytes sha256=%s -> %s\n", image.size(),
                    sim::sha256_hex(image).c_str(), target.c_str());
    } else {
        std::printf("RECEIVED nothing (no download completed; %zu bytes of an unfinished one)\n",
                    simulator->partial_image().size());
    }
    std::fflush(stdout);
    return result;
}
