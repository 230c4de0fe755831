// HalvaneSim: a simulated Halvane or Pellax terminal behind an RFC 2217 port, announced in
// the devices folder. Prints one READY line, runs until SIGINT or SIGTERM (or the first
// acknowledged download with --exit-after-download), then removes its announcement and
// confirms what it received.
#include "cli/tool_usage.h"
#include "sim/scenario.h"
#include "sim/sha256.h"
#include "sim/terminal_simulator.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_signal(int) {
    g_stop = 1;
}

constexpr std::string_view kName = "HalvaneSim";
// The CT-API library reads a port name into an 8-byte buffer and skips longer ones.
constexpr std::size_t kCtapiPortNameLimit = 7;

const cli::ToolUsage kUsage{
    kName, "usage: HalvaneSim [--scenario FILE] [--KEY=VALUE | --KEY VALUE]...\n",
    "A simulated Halvane or Pellax terminal behind an RFC 2217 port on 127.0.0.1, announced\n"
    "in the devices folder. Prints one READY line, runs until SIGINT or SIGTERM (or until the\n"
    "first download has been acknowledged, with --exit-after-download), then removes its\n"
    "announcement and prints what it received (RECEIVED ... sha256=...).\n"
    "\n"
    "  --scenario FILE           apply a scenario file (keys as below, one per line)\n"
    "  --KEY VALUE, --KEY=VALUE  any scenario key (docs/simulation.md), for example\n"
    "                            --model pellax --port-name COM7 --image-out received.bin\n"
    "                            --line-baud 57600 --download-states 4,1\n"
    "  --exit-after-download [yes|no]\n"
    "                            end after the first acknowledged download\n"
    "  -h, --help                this text\n"
    "  --version                 the version line\n"
    "\n"
    "Options apply from left to right: those after --scenario override the file.\n"
    "Environment: MORLIN_DEVICES (the devices folder, unless devices_dir is given),\n"
    "MORLIN_TIME_SCALE (protocol waits in percent of real time).\n"
    "Exit codes: 0 done, 1 could not start or write the image, 2 bad options.\n"};

bool is_yes_or_no(std::string_view text) {
    for (const char* word : {"yes", "no", "true", "false", "on", "off", "1", "0"}) {
        if (text == word) {
            return true;
        }
    }
    return false;
}

// Applies the options; on a usage error the message (without the hint) is in `problem`.
bool parse_arguments(const std::vector<std::string>& arguments, sim::Scenario& scenario,
                     std::string& problem) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            problem = "unexpected argument \"" + argument + "\"";
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
            value =
                i + 1 < arguments.size() && is_yes_or_no(arguments[i + 1]) ? arguments[++i] : "yes";
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            problem = "--" + key + " needs a value";
            return false;
        }
        std::string error;
        const bool ok = key == "scenario" ? sim::apply_scenario_file(scenario, value, error)
                                          : sim::apply_setting(scenario, key, value, error);
        if (!ok) {
            problem = error;
            return false;
        }
    }
    return true;
}

void warn_about_port_name(const std::string& port_name) {
    if (port_name.size() > kCtapiPortNameLimit) {
        std::fprintf(stderr,
                     "HalvaneSim: warning: port name %s is longer than %zu characters: the "
                     "CT-API library (Brantel) skips it\n",
                     port_name.c_str(), kCtapiPortNameLimit);
    }
}

bool write_image(const std::string& path, const std::vector<std::uint8_t>& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = cli::answer_help_or_version(kUsage, arguments)) {
        return *answered;
    }
    sim::Scenario scenario;
    std::string problem;
    if (!parse_arguments(arguments, scenario, problem)) {
        return cli::usage_error(kName, problem);
    }
    warn_about_port_name(scenario.options.port_name);
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
            simulator->wait_for_acknowledged_downloads(1, std::chrono::milliseconds(50))) {
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
