// update-run-bench: what a configured silent download costs on the real road: the Morlin
// program (a child process) binds VUPPorta.so, lists a simulated Halvane terminal (in this
// process) and downloads a firmware image and an application image into it.
//
//   update-run-bench [--size BYTES[K|M]] [--line-size BYTES[K|M]] [--no-line | --line-only]
//   update-run-bench --terminals N [--line-size BYTES[K|M]]
//
//   (a) the simulator emulates the terminal's 57600 baud line (10 bits a byte, 5760 bytes/s):
//       elapsed time and efficiency = image bytes / (elapsed s x 5760). A MiB takes about
//       three minutes by nature, so --line-size (default 48K) may be smaller than --size:
//       the MiB figure is then extrapolated from the measured line rate plus the fixed cost.
//       Any size goes through: a 64 KiB block takes 11.4 s on the line, longer than the
//       terminal's 10 s answer limit, and the simulated port's writes end as soon as the bytes
//       are in the socket, so VUPPorta adds the line time of a block to its answer limit.
//   (b) no line emulation: MiB/s and CPU seconds per MiB (Morlin and plug-in, and the
//       simulator), at --size (default 1M); the quickest of five runs.
// Both also run a minimal image (773 bytes) to measure the fixed cost of a run: program
// start, binding, listing, the status queries and the protocol's own waits.
//   (c) --terminals N: N simulated terminals, each on its own emulated 57600 baud line, get
//       the --line-size firmware image in one run with /PARALLEL; printed beside the time of
//       one terminal alone, and their ratio (1 would be "N in the time of one"), with the
//       machine's one-minute load average before and after.
//
// Runs in real time (MORLIN_TIME_SCALE is not passed on); needs Morlin and VUPPorta.so in
// build/bin. Every run checks that the terminal holds exactly the image's bytes.
#include "cli/tool_usage.h"
#include "host/config/config_file.h"
#include "platform/foundation/clock.h"
#include "sample_image.h"
#include "sim/terminal_simulator.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kLineBytesPerSecond = 5760.0; // 57600 baud, 10 bits a byte
constexpr double kMiB = 1024.0 * 1024.0;

struct Measurement {
    bool ok = false;
    double elapsed_s = 0;
    double morlin_cpu_s = 0;    // the Morlin process with the plug-in
    double simulator_cpu_s = 0; // this process: the simulated terminal
    std::string problem;
};

class Folder {
  public:
    Folder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("update-run-bench-" + std::to_string(random()));
        fs::create_directories(path_ / "devices");
        fs::create_directories(path_ / "tmp");
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "0m1.250000s" -> 1.25
double shell_seconds(const std::string& text) {
    const auto m = text.find('m');
    if (m == std::string::npos) {
        return 0;
    }
    return std::atof(text.substr(0, m).c_str()) * 60 + std::atof(text.substr(m + 1).c_str());
}

// The CPU time of the shell's children from the second line of `times`.
double children_cpu_seconds(const std::string& times_output) {
    std::istringstream lines(times_output);
    std::string shell_line;
    std::string children_line;
    std::getline(lines, shell_line);
    std::getline(lines, children_line);
    std::istringstream fields(children_line);
    std::string user;
    std::string system;
    fields >> user >> system;
    return shell_seconds(user) + shell_seconds(system);
}

// The machine's one-minute load average (Linux), or "unknown".
std::string load_average() {
    std::istringstream fields(read_file("/proc/loadavg"));
    std::string one_minute;
    fields >> one_minute;
    return one_minute.empty() ? "unknown" : one_minute;
}

double own_cpu_seconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// One run of Morlin into `terminals` simulated terminals (/PARALLEL when more than one).
Measurement measure(const std::string& bin, sample::ImageKind kind, std::uint32_t size,
                    std::uint32_t line_baud, int terminals = 1) {
    Measurement result;
    Folder folder;
    std::vector<std::unique_ptr<sim::TerminalSimulator>> simulators;
    for (int n = 1; n <= terminals; ++n) {
        sim::SimulatorOptions options;
        options.devices_dir = folder.file("devices");
        options.serial = "SIM" + std::to_string(1000 + n);
        options.line_baud = line_baud;
        options.image_size = size; // the terminal knows the image's length from its header
        std::string error;
        simulators.push_back(sim::TerminalSimulator::start(options, &error));
        if (!simulators.back()) {
            result.problem = "simulator: " + error;
            return result;
        }
    }

    sample::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.size = size;
    recipe.major = kind == sample::ImageKind::Firmware ? 3 : 2;
    const std::vector<std::uint8_t> image = sample::make_image(recipe);
    {
        std::ofstream out(folder.file("image.bin"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    fs::copy_file(bin + "/VUPPorta.so", folder.file("VUPPorta.so"));
    morlin::ConfigContents config;
    config.options = {{"GUI", "no"}, {"BACKUP", "no"}};
    config.downloads = {"image.bin"};
    if (!morlin::save_config_file(folder.file("Morlin.cfg"), config)) {
        result.problem = "cannot write Morlin.cfg";
        return result;
    }

    const std::string command =
        "cd '" + folder.file("") + "' && env -u MORLIN_TIME_SCALE MORLIN_DEVICES='" +
        folder.file("devices") + "' MORLIN_UI=console MORLIN_INHIBIT=none MORLIN_LOG_FILE='" +
        folder.file("Morlin.log") + "' TMPDIR='" + folder.file("tmp") + "' '" + bin + "/Morlin'" +
        (terminals > 1 ? std::string(" /PARALLEL") : std::string()) +
        " >/dev/null 2>stderr.txt; times >times.txt";
    const double cpu_before = own_cpu_seconds();
    const std::uint64_t started = platform::monotonic_ms();
    const int status = std::system(command.c_str());
    result.elapsed_s = static_cast<double>(platform::monotonic_ms() - started) / 1000.0;
    result.simulator_cpu_s = own_cpu_seconds() - cpu_before;
    result.morlin_cpu_s = children_cpu_seconds(read_file(folder.file("times.txt")));
    bool all_hold_the_image = true;
    for (const auto& terminal : simulators) {
        terminal->stop();
        all_hold_the_image = all_hold_the_image && terminal->downloads_completed() == 1 &&
                             terminal->received_image() == image;
    }

    if (status != 0) {
        result.problem = "the shell failed";
    } else if (!all_hold_the_image) {
        result.problem = "the terminal does not hold the image; Morlin said: " +
                         read_file(folder.file("stderr.txt")) +
                         read_file(folder.file("Morlin.log"));
    } else {
        result.ok = true;
    }
    return result;
}

// The quickest of several runs: the fixed waits vary a little from run to run.
Measurement measure_best(const std::string& bin, sample::ImageKind kind, std::uint32_t size,
                         std::uint32_t line_baud, int runs) {
    Measurement best = measure(bin, kind, size, line_baud);
    for (int run = 1; run < runs && best.ok; ++run) {
        const Measurement next = measure(bin, kind, size, line_baud);
        if (!next.ok) {
            return next;
        }
        if (next.elapsed_s < best.elapsed_s) {
            best = next;
        }
    }
    return best;
}

bool parse_size(const char* text, std::uint32_t& size) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end != nullptr && (*end == 'K' || *end == 'k')) {
        value *= 1024;
    } else if (end != nullptr && (*end == 'M' || *end == 'm')) {
        value *= kMiB;
    }
    if (!(value >= sample::kMinimumImageSize && value <= 64 * kMiB)) {
        return false;
    }
    size = static_cast<std::uint32_t>(value);
    return true;
}

const char* kind_name(sample::ImageKind kind) {
    return kind == sample::ImageKind::Firmware ? "firmware" : "application";
}

constexpr std::string_view kName = "update-run-bench";

const cli::ToolUsage kUsage{
    kName,
    "usage: update-run-bench [--size BYTES[K|M]] [--line-size BYTES[K|M]] [--no-line | "
    "--line-only]\n       update-run-bench --terminals N [--line-size BYTES[K|M]]\n",
    "Times a configured silent download through Morlin and VUPPorta into the simulated\n"
    "terminal, firmware and application, in real time (docs/benchmarks.md).\n"
    "\n"
    "  --size        image size without line emulation (default 1M)\n"
    "  --line-size   image size on the emulated 57600 baud line (default 48K)\n"
    "  --no-line     only the runs without line emulation\n"
    "  --line-only   only the runs on the emulated line\n"
    "  --terminals N N terminals (1 to 30), each on its own line, in one run with /PARALLEL,\n"
    "                against one terminal alone\n"
    "  -h, --help    this text\n"
    "  --version     the version line\n"
    "\n"
    "Needs Morlin, VUPPorta.so and MORLNRES.so in build/bin. Exit codes: 0 every run\n"
    "delivered the image, 1 a run failed, 2 bad options.\n"};

} // namespace

int main(int argc, char** argv) {
    std::uint32_t size = 1024 * 1024;
    std::uint32_t line_size = 48 * 1024;
    bool with_line = true;
    bool without_line = true;
    int terminals = 0;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = cli::answer_help_or_version(kUsage, arguments)) {
        return *answered;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        if (option == "--size" && has_value && parse_size(arguments[i + 1].c_str(), size)) {
            ++i;
        } else if (option == "--line-size" && has_value &&
                   parse_size(arguments[i + 1].c_str(), line_size)) {
            ++i;
        } else if (option == "--no-line") {
            with_line = false;
        } else if (option == "--terminals" && has_value &&
                   std::atoi(arguments[i + 1].c_str()) >= 1 &&
                   std::atoi(arguments[i + 1].c_str()) <= 30) {
            terminals = std::atoi(arguments[++i].c_str());
        } else if (option == "--line-only") {
            without_line = false;
        } else {
            return cli::usage_error(kName, "bad option " + option);
        }
    }
    if (!with_line && !without_line) {
        return cli::usage_error(kName, "--no-line and --line-only together leave nothing to run");
    }
    const std::string bin = MORLIN_BIN_DIR;
    const std::uint32_t minimal = sample::kMinimumImageSize;
    bool all_ok = true;
    auto check = [&](const Measurement& m, const char* what) {
        if (!m.ok) {
            std::fprintf(stderr, "%s: %s\n", what, m.problem.c_str());
            all_ok = false;
        }
        return m.ok;
    };

    if (terminals > 0) {
        const std::string load_before = load_average();
        const Measurement one = measure(bin, sample::ImageKind::Firmware, line_size, 57600);
        const Measurement many =
            measure(bin, sample::ImageKind::Firmware, line_size, 57600, terminals);
        if (check(one, "one terminal") && check(many, "several terminals")) {
            std::printf("(c) firmware %u bytes at 57600 baud | one terminal %.2f s | %d terminals "
                        "with /PARALLEL %.2f s | ratio %.3f | load average %s before, %s after\n",
                        line_size, one.elapsed_s, terminals, many.elapsed_s,
                        many.elapsed_s / one.elapsed_s, load_before.c_str(),
                        load_average().c_str());
        }
        return all_ok ? 0 : 1;
    }
    std::printf("Configured silent download through Morlin and VUPPorta into the simulated "
                "terminal\n\n");
    for (const sample::ImageKind kind :
         {sample::ImageKind::Firmware, sample::ImageKind::Application}) {
        if (with_line) {
            const Measurement fixed = measure(bin, kind, minimal, 57600);
            const Measurement line = measure(bin, kind, line_size, 57600);
            if (check(fixed, "fixed cost at 57600 baud") && check(line, "57600 baud")) {
                // The fixed cost is what a run costs beyond moving its bytes over the line.
                const double fixed_s = fixed.elapsed_s - minimal / kLineBytesPerSecond;
                const double per_byte = (line.elapsed_s - fixed_s) / (line_size - 0.0);
                // The MiB at the nominal line rate: the simulator's pacing runs up to 1 %
                // fast, which would give an efficiency above 1.
                const double mib_s = fixed_s + size / kLineBytesPerSecond;
                std::printf("(a) %-11s 57600 baud | measured %8u bytes in %7.2f s, efficiency "
                            "%.3f | fixed cost %.2f s | line rate %.0f bytes/s (%.3f of 5760) | "
                            "%u bytes: %.1f s, efficiency %.3f%s\n",
                            kind_name(kind), line_size, line.elapsed_s,
                            line_size / (line.elapsed_s * kLineBytesPerSecond), fixed_s,
                            1.0 / per_byte, 1.0 / per_byte / kLineBytesPerSecond, size, mib_s,
                            size / (mib_s * kLineBytesPerSecond),
                            line_size == size ? " (measured)" : " (extrapolated)");
            }
        }
        if (without_line) {
            const Measurement fixed = measure_best(bin, kind, minimal, 0, 5);
            const Measurement fast = measure_best(bin, kind, size, 0, 5);
            if (check(fixed, "fixed cost without line") && check(fast, "without line")) {
                const double mib = size / kMiB;
                const double transfer_s = fast.elapsed_s - fixed.elapsed_s;
                std::printf(
                    "(b) %-11s no line    | %8u bytes in %7.2f s = %7.2f MiB/s | fixed "
                    "cost %.2f s (%.0f%% of the run) | beyond it %.1f MiB/s | CPU %.3f s/MiB "
                    "(Morlin+plug-in %.3f, simulator %.3f)\n",
                    kind_name(kind), size, fast.elapsed_s, mib / fast.elapsed_s, fixed.elapsed_s,
                    100.0 * fixed.elapsed_s / fast.elapsed_s,
                    transfer_s > 0 ? mib / transfer_s : 0.0,
                    (fast.morlin_cpu_s + fast.simulator_cpu_s) / mib, fast.morlin_cpu_s / mib,
                    fast.simulator_cpu_s / mib);
            }
        }
    }
    return all_ok ? 0 : 1;
}
