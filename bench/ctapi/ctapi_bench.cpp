// ctapi-bench: what a CT_data round trip costs through BRANTEL.so, compared with the same
// blocks moved over the bare serial port, against the terminal simulator without line
// emulation (so the figures are the library's and the port layer's own costs).
//
//   ctapi-bench [rounds]          (default 200; the 4 KiB read runs a quarter as often)
//
// Runs in a temporary devices folder of its own; needs BRANTEL.so beside the program.
#include "block_protocol.h"
#include "ctapi.h"
#include "platform/clock.h"
#include "platform/library.h"
#include "platform/serial_port.h"
#include "port_search.h"
#include "sim/terminal_simulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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

double time_presence_check(const std::string& port_name, int rounds) {
    const std::string path = brantel::port_path_of(port_name);
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (!brantel::terminal_port_present(brantel::OsFamily::Other, path))
            return -1;
    }
    return micros_per_round(Clock::now() - start, rounds);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(8, std::atoi(argv[1])) : 200;
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

    Figures library, bare;
    const bool ok =
        time_library(rounds, library) && time_bare_port(terminal->address(), rounds, bare);
    const double presence = time_presence_check(terminal->port_name(), rounds);
    terminal->stop();
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::fprintf(stderr, "ctapi-bench: an exchange failed\n");
        return 1;
    }
    // A response of B blocks costs 2 * B read calls in the library, each followed by a
    // presence check; the 4 KiB response comes in 17 blocks.
    std::printf("rounds: %d (GET STATUS), %d (READ BINARY 4 KiB)\n", rounds, rounds / 4);
    std::printf("%-28s %12s %12s %8s\n", "round trip (us)", "CT_data", "bare port", "ratio");
    std::printf("%-28s %12.1f %12.1f %8.2f\n", "GET STATUS", library.get_status_us,
                bare.get_status_us, library.get_status_us / bare.get_status_us);
    std::printf("%-28s %12.1f %12.1f %8.2f\n", "READ BINARY, 4096 B chained", library.read_4k_us,
                bare.read_4k_us, library.read_4k_us / bare.read_4k_us);
    std::printf("presence check: %.1f us per call (2 per block: %.1f us per GET STATUS, "
                "%.1f us per 4 KiB read)\n",
                presence, 2 * presence, 34 * presence);
    std::printf("purge before a 5-byte command: %.1f us per call\n", bare.purge_us);
    return 0;
}
