// ctapi-bench: what a CT_data round trip costs through BRANTEL.so, compared with the same
// blocks moved over the bare serial port, against the terminal simulator without line
// emulation (so the figures are the library's and the port layer's own costs).
//
//   ctapi-bench [rounds]          (default 200; the 4 KiB read runs a quarter as often)
//
// Library and bare port take turns three times and the best of each figure is shown. Every
// figure is taken twice in one run: with the machine's own serial ports listed beside the
// simulated ones (the default), and with simulated ports only (MORLIN_REAL_PORTS=none). The
// presence check is timed both ways it is made: from the device monitor's set of present
// ports, and by listing the devices afresh, each with and without 50 more announced devices.
//
// Runs in a temporary devices folder of its own; needs BRANTEL.so beside the program.
#include "block_protocol.h"
#include "cli/tool_usage.h"
#include "ctapi.h"
#include "device_monitor.h"
#include "platform/foundation/clock.h"
#include "platform/serial/serial_port.h"
#include "platform/winapi/library.h"
#include "port_search.h"
#include "sim/announcement.h"
#include "sim/terminal_simulator.h"
#include "terminal_link.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

const Bytes kGetStatus = {0x20, 0x13, 0x00, 0x46, 0x00};
const Bytes kReadBinary4k = {0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00};

double micros_per_round(Clock::duration total, int rounds) {
    return std::chrono::duration<double, std::micro>(total).count() / rounds;
}

// The same blocks straight over the port: write, read the header, read the rest. No purge and
// no presence check.
class BarePort : public brantel::BlockTransport {
  public:
    explicit BarePort(platform::SerialPort& port) : port_(port) {}
    bool transceive(const brantel::BlockBuffer& transmit, brantel::BlockBuffer& receive,
                    std::uint8_t patience) override {
        if (!port_.write(std::span(transmit).first(brantel::block_size(transmit))))
            return false;
        return this->receive(receive, patience);
    }
    bool receive(brantel::BlockBuffer& receive, std::uint8_t) override {
        if (!read_exactly(std::span(receive).first(brantel::kHeaderSize)))
            return false;
        return read_exactly(
            std::span(receive).subspan(brantel::kHeaderSize, receive[brantel::kLenOffset] + 1u));
    }
    void discard_input() override {}

  private:
    bool read_exactly(std::span<std::uint8_t> buffer) {
        std::size_t gathered = 0;
        while (gathered < buffer.size()) {
            const auto count = port_.read(buffer.subspan(gathered));
            if (!count || *count == 0)
                return false;
            gathered += *count;
        }
        return true;
    }
    platform::SerialPort& port_;
};

struct Figures {
    double get_status_us = 0;
    double read_4k_us = 0;
    double purge_us = 0; // bare port only: the purge CT_data runs before every 5-byte command
};

constexpr int kTurns = 3;

void keep_best(Figures& best, const Figures& turn, int index) {
    if (index == 0) {
        best = turn;
        return;
    }
    best.get_status_us = std::min(best.get_status_us, turn.get_status_us);
    best.read_4k_us = std::min(best.read_4k_us, turn.read_4k_us);
    best.purge_us = std::min(best.purge_us, turn.purge_us);
}

bool time_library(int rounds, Figures& figures) {
    const auto library = platform::Library::load("BRANTEL.so");
    if (!library) {
        std::fprintf(stderr, "ctapi-bench: BRANTEL.so not found beside the program\n");
        return false;
    }
    const auto ct_init = reinterpret_cast<CT_init_fn>(library->symbol("CT_init"));
    const auto ct_data = reinterpret_cast<CT_data_fn>(library->symbol("CT_data"));
    const auto ct_close = reinterpret_cast<CT_close_fn>(library->symbol("CT_close"));
    if (ct_init == nullptr || ct_data == nullptr || ct_close == nullptr || ct_init(0, 0) != OK)
        return false;
    Bytes response(4096);
    auto run = [&](const Bytes& command, IU8 destination, int count) -> Clock::duration {
        Bytes sent = command;
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            IU8 dad = destination, sad = 2;
            IU16 lenr = 4096;
            if (ct_data(0, &dad, &sad, static_cast<IU16>(sent.size()), sent.data(), &lenr,
                        response.data()) != OK)
                return Clock::duration::max();
        }
        return Clock::now() - start;
    };
    run(kGetStatus, 1, 10); // warm up
    const auto status = run(kGetStatus, 1, rounds);
    const auto read = run(kReadBinary4k, 0, rounds / 4);
    ct_close(0);
    if (status == Clock::duration::max() || read == Clock::duration::max())
        return false;
    figures.get_status_us = micros_per_round(status, rounds);
    figures.read_4k_us = micros_per_round(read, rounds / 4);
    return true;
}

bool time_bare_port(const std::string& address, int rounds, Figures& figures) {
    auto port = platform::SerialPort::open(address);
    if (!port)
        return false;
    platform::Timeouts timeouts{4000, 0, 4000, 0, 0};
    port->set_timeouts(timeouts);
    BarePort bare(*port);
    brantel::BlockProtocol protocol(bare);
    protocol.reset();
    std::array<std::uint8_t, 4096> response{};
    auto run = [&](const Bytes& command, std::uint8_t destination, int count) -> Clock::duration {
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            brantel::ExchangeAddresses addresses{destination, 2};
            std::uint16_t capacity = 4096;
            if (protocol.exchange(addresses, command, response, capacity, false) !=
                brantel::ExchangeResult::Success)
                return Clock::duration::max();
        }
        return Clock::now() - start;
    };
    run({0x20, 0x11, 0x00, 0x00, 0x00}, 1, 1);
    run(kGetStatus, 1, 10);
    const auto status = run(kGetStatus, 1, rounds);
    const auto read = run(kReadBinary4k, 0, rounds / 4);
    if (status == Clock::duration::max() || read == Clock::duration::max())
        return false;
    figures.get_status_us = micros_per_round(status, rounds);
    figures.read_4k_us = micros_per_round(read, rounds / 4);
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        port->purge(platform::kPurgeTxClear | platform::kPurgeRxClear);
    figures.purge_us = micros_per_round(Clock::now() - start, rounds);
    return true;
}

// Microseconds per presence check of `port_name`: listing the devices afresh, and from the set
// the device monitor keeps.
struct PresenceFigures {
    double listing_us = -1;
    double kept_us = -1;
};

PresenceFigures time_presence_check(const std::string& port_name, int rounds) {
    const std::string path = brantel::port_path_of(port_name);
    auto average = [&](auto check, int count) {
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            if (!check())
                return -1.0;
        }
        return micros_per_round(Clock::now() - start, count);
    };
    PresenceFigures figures;
    figures.listing_us = average(
        [&] { return brantel::terminal_port_present(brantel::OsFamily::Other, path); }, rounds);
    brantel::TerminalLink link;
    link.set_os_family(brantel::OsFamily::Other);
    link.set_saved_path(path);
    std::atomic<std::int32_t> open_terminal{0};
    brantel::DeviceMonitor monitor(link, open_terminal);
    if (monitor.start())
        figures.kept_us = average([&] { return link.saved_port_present(); }, rounds * 50);
    return figures;
}

struct ListingMode {
    const char* name;
    const char* real_ports; // MORLIN_REAL_PORTS, or nothing for the default
};

bool run_mode(const ListingMode& mode, const std::string& folder,
              const sim::TerminalSimulator& terminal, int rounds) {
    if (mode.real_ports != nullptr)
        ::setenv("MORLIN_REAL_PORTS", mode.real_ports, 1);
    else
        ::unsetenv("MORLIN_REAL_PORTS");
    // Library and bare port take turns, three times; the best of each figure counts (the
    // machine may be busy with other work meanwhile).
    Figures library, bare;
    for (int turn = 0; turn < kTurns; ++turn) {
        Figures library_turn, bare_turn;
        if (!time_library(rounds, library_turn) ||
            !time_bare_port(terminal.address(), rounds, bare_turn)) {
            std::fprintf(stderr, "ctapi-bench: an exchange failed\n");
            return false;
        }
        keep_best(library, library_turn, turn);
        keep_best(bare, bare_turn, turn);
    }
    const PresenceFigures alone = time_presence_check(terminal.port_name(), rounds);
    const auto others = sim::announce_unserved_terminals(folder, "BENCH", 50);
    const PresenceFigures crowded = time_presence_check(terminal.port_name(), rounds);
    for (const auto& file : others)
        sim::remove_announcement(file);

    std::printf("\n%s\n", mode.name);
    std::printf("%-28s %12s %12s %8s\n", "round trip (us)", "CT_data", "bare port", "ratio");
    std::printf("%-28s %12.1f %12.1f %8.2f\n", "GET STATUS", library.get_status_us,
                bare.get_status_us, library.get_status_us / bare.get_status_us);
    std::printf("%-28s %12.1f %12.1f %8.2f\n", "READ BINARY, 4096 B chained", library.read_4k_us,
                bare.read_4k_us, library.read_4k_us / bare.read_4k_us);
    std::printf("presence check (us): from the monitor's set %.2f (%.2f with 50 more devices), "
                "listing afresh %.1f (%.1f with 50 more devices)\n",
                alone.kept_us, crowded.kept_us, alone.listing_us, crowded.listing_us);
    std::printf("purge before a 5-byte command: %.1f us per call\n", bare.purge_us);
    return true;
}

constexpr std::string_view kName = "ctapi-bench";

const cli::ToolUsage kUsage{
    kName, "usage: ctapi-bench [ROUNDS]\n",
    "Times CT_data round trips through BRANTEL.so against the terminal simulator without line\n"
    "emulation, beside the same blocks on the bare serial port (docs/brantel.md).\n"
    "\n"
    "  ROUNDS        GET STATUS round trips (default 200, at least 8); the 4 KiB READ\n"
    "                BINARY runs a quarter as often\n"
    "  -h, --help    this text\n"
    "  --version     the version line\n"
    "\n"
    "Runs in a devices folder of its own, and measures twice: with the machine's own serial\n"
    "ports listed, and with simulated ports only (MORLIN_REAL_PORTS=none).\n"
    "Exit codes: 0 done, 1 an exchange failed, 2 bad arguments.\n"};

// The ROUNDS argument: a whole number, at least 8.
std::optional<int> parse_rounds(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return 200;
    }
    int rounds = 0;
    const std::string& text = arguments[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rounds);
    if (arguments.size() > 1 || error != std::errc{} || end != text.data() + text.size() ||
        rounds < 1) {
        return std::nullopt;
    }
    return std::max(8, rounds);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = cli::answer_help_or_version(kUsage, arguments)) {
        return *answered;
    }
    const auto parsed_rounds = parse_rounds(arguments);
    if (!parsed_rounds) {
        return cli::usage_error(kName, "ROUNDS is one whole number");
    }
    const int rounds = *parsed_rounds;
    char folder[] = "/tmp/ctapi-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return 1;
    ::setenv("MORLIN_DEVICES", folder, 1);

    sim::SimulatorOptions options;
    options.card_content.assign(4094, 0x5A); // with 90 00: a 4096-byte response
    std::string error;
    auto terminal = sim::TerminalSimulator::start(options, &error);
    if (!terminal) {
        std::fprintf(stderr, "ctapi-bench: simulator: %s\n", error.c_str());
        return 1;
    }

    std::printf("rounds: %d (GET STATUS), %d (READ BINARY 4 KiB)\n", rounds, rounds / 4);
    const ListingMode modes[] = {
        {"machine's serial ports listed as well (default)", nullptr},
        {"simulated ports only (MORLIN_REAL_PORTS=none)", "none"},
    };
    bool ok = true;
    for (const auto& mode : modes)
        ok = ok && run_mode(mode, folder, *terminal, rounds);
    terminal->stop();
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
