#pragma once
// A simulated Halvane or Pellax terminal behind an RFC 2217 port on 127.0.0.1, for tests that
// run in-process and for the HalvaneSim program.
//
// start() listens on a TCP port, writes the device announcement into the devices folder (see
// docs/simulation.md) and serves one client at a time on a thread of its own. A client opens
// the terminal's port by its PortName (through MORLIN_DEVICES) or by address().
//
// Threads: every member function may be called from any thread while the simulator runs.
// The getters return copies taken under the simulator's lock.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

enum class TerminalModel : std::uint8_t { Halvane, Pellax };

// How the device is announced: a USB serial port (Ports class, NT family) or the Windows 9x
// modem-class device of the terminal's driver.
enum class AnnounceAs : std::uint8_t { Ports, Modem9x };

// 'h' followed by binary numbers, or five characters of version text.
enum class VersionEncoding : std::uint8_t { Binary, Text };

// What the terminal reports in its status response (manufacturer data object 0x46).
struct TerminalStatus {
    std::uint8_t app_major = 1;
    std::uint8_t app_minor = 5;
    VersionEncoding app_encoding = VersionEncoding::Binary;
    std::string app_text; // five characters at offsets 12..16; empty: "%u.%02u" of the numbers,
                          // padded on the left with '0' (1.05 -> "01.05")
    std::uint8_t fw_major = 2;
    std::uint8_t fw_minor = 1;
    std::uint8_t fw_build = 3;
    VersionEncoding fw_encoding = VersionEncoding::Binary;
    std::string fw_text; // five characters at offsets 17..21; empty: "%u.%u.%u" of the numbers
    std::uint16_t stored_records = 0;
    // Download state (offset 25) of successive manufacturer status queries; the last one
    // repeats. Empty counts as {1}. set_status() starts the sequence again.
    std::vector<std::uint8_t> download_states{1};
    std::uint8_t readiness = 1; // offset 46, 1 = ready for a download
    // Identification field, offsets 47..60 (shown without its leading zero bytes).
    std::array<std::uint8_t, 14> identification{0,   0,   0,   0,   'H', 'L', 'V',
                                                '-', 'S', 'I', 'M', '0', '0', '1'};
    std::uint16_t status_word = 0x9000;       // last two bytes of the status response
    std::uint16_t short_status_word = 0x9000; // answer to the short status query 20 18
    std::uint16_t reset_status_word = 0x9500; // answer to RESET CT 20 11 00 00 00
};

// How late a slow answer comes: one and a half of the CT-API library's read time-outs.
inline constexpr std::uint32_t kLateAnswerMs = 6000;

// Faults the terminal plays on request. Counts are relative to the moment the faults are set
// (set_faults() or start()); 0 switches a fault off.
struct Faults {
    std::uint32_t silent_requests = 0;         // the next N requests get no answer at all
    std::uint32_t wrong_answer_data_block = 0; // data block K of a download is answered ...
    std::uint8_t wrong_answer_byte = 0x15;     // ... with this byte instead of ACK (NAK)
    std::uint32_t wrong_answer_mode_request =
        0; // 1: the download-mode request gets wrong_answer_byte
    std::uint32_t wrong_answer_upgrade_request = 0; // 1: the upgrade request gets wrong_answer_byte
    std::uint32_t withhold_final_ack = 0;      // 1: the whole image is not acknowledged at the end
    std::uint32_t bad_check_response = 0;      // response block K carries a wrong check byte
    std::uint32_t wrong_sequence_response = 0; // response I-block K carries the wrong N(S)
    std::uint32_t error_response = 0;          // response K is an error response (NAD 0x8?) ...
    std::uint8_t error_response_byte = 0x00;   // ... with this single data byte
    // Slow answers (CT-API blocks), each kLateAnswerMs late (a protocol wait):
    std::uint32_t late_answers = 0;    // the next N answers simply come late
    std::uint32_t wait_extensions = 0; // the next N answers first ask for a waiting-time
                                       // extension (S-block, multiplier 2) and come late after
                                       // the host's response
    // Unplug at a chosen moment (as unplug() does):
    std::uint32_t unplug_after_data_blocks = 0;    // after acknowledging N data blocks
    bool unplug_during_handshake = false;          // at the download-mode request (break pulses)
    std::uint32_t unplug_after_status_queries = 0; // after answering N manufacturer status queries
    bool port_held = false; // every connection is closed at once ("held by another program")
};

struct SimulatorOptions {
    TerminalModel model = TerminalModel::Halvane;
    std::string serial = "SIM0001"; // USB serial number in the instance ID and interface path
    std::string port_name;          // PortName; empty: the lowest COM<n> (n >= 3) not
                                    // announced by another file in the devices folder
    std::string devices_dir;        // empty: $MORLIN_DEVICES; created when missing
    std::string device_name;        // announcement file stem; empty: "<model>-<serial>"
    AnnounceAs announce_as = AnnounceAs::Ports;
    bool announce = true;       // false: no announcement file (address() only)
    std::uint16_t tcp_port = 0; // 0: any free port

    // Line and timing. Every delay is a protocol wait and follows MORLIN_TIME_SCALE.
    std::uint32_t line_baud = 0;         // 0: no line emulation; else 10 bits per byte, both ways
    std::uint32_t response_delay_ms = 0; // terminal's think time before each answer
    std::uint32_t restart_requests = 0;  // answer a firmware upgrade request N times with 'f'
    std::uint32_t image_size = 0;        // expected image bytes; 0: the end is found by a pause
    // Pause in the data that ends an image of unknown size, in real milliseconds; 0: 3000 ms
    // scaled by MORLIN_TIME_SCALE, kept between 20 and 100 ms.
    std::uint32_t image_end_pause_ms = 0;
    std::uint32_t replug_after_ms = 0; // after an unplug fault, plug in again (0: stay out)

    // CT-API side.
    std::uint8_t max_response_inf = 254;    // longest INF the terminal sends in one block
    bool card_present = true;               // card in the first slot (ICC1, address 0)
    std::vector<std::uint8_t> card_content; // what READ BINARY reads (empty: 1024 pattern bytes)

    TerminalStatus status;
    Faults faults;
};

// One thing that crossed the line, as the terminal saw it.
struct LineEvent {
    enum class Kind : std::uint8_t {
        Connected,     // a client opened the port
        Disconnected,  // the client closed it (or the terminal dropped it)
        Refused,       // a connection closed at once: port held by another program
        BreakPulse,    // break on, then off
        Purge,         // PURGE-DATA (value: 1 receive, 2 transmit, 3 both)
        LineSettings,  // baud rate, data size, parity or stop size set (value: baud)
        BlockIn,       // a terminal block from the client (nad, pcb, data = INF, check_ok)
        BlockOut,      // a terminal block to the client
        ByteIn,        // a single protocol byte in download mode ('0', '1' or unexpected)
        ByteOut,       // a single protocol byte to the client (ACK, NAK, 'f', ...)
        DataBlockIn,   // a data block of a download (value: its size in bytes)
        ImageComplete, // a download ended with the final acknowledgement (value: image size)
        Unplugged,
        Replugged,
    };
    Kind kind = Kind::Connected;
    std::uint8_t nad = 0;
    std::uint8_t pcb = 0;
    bool check_ok = true;
    std::uint32_t value = 0;
    std::vector<std::uint8_t> data;
};

class TerminalSimulator {
  public:
    // Listens, announces and starts serving. Null on failure, with a reason in *error.
    static std::unique_ptr<TerminalSimulator> start(const SimulatorOptions& options,
                                                    std::string* error = nullptr);
    virtual ~TerminalSimulator() = default; // stops (as stop())

    virtual std::uint16_t port() const = 0;            // TCP port number
    virtual std::string address() const = 0;           // "rfc2217://127.0.0.1:<port>"
    virtual std::string announcement_path() const = 0; // the .device file (empty when none)
    virtual std::string port_name() const = 0;         // PortName in the announcement

    virtual void set_status(const TerminalStatus& status) = 0;
    virtual TerminalStatus status() const = 0;
    virtual void set_faults(const Faults& faults) = 0;
    virtual void set_card(bool present, const std::vector<std::uint8_t>& content) = 0;

    // The image of the last download that ended with the final acknowledgement.
    virtual std::vector<std::uint8_t> received_image() const = 0;
    // Bytes of the download in progress (or of the last one that did not complete).
    virtual std::vector<std::uint8_t> partial_image() const = 0;
    virtual std::uint32_t downloads_completed() const = 0;
    // Waits until `count` downloads have completed; false on time-out (real time).
    virtual bool wait_for_downloads(std::uint32_t count,
                                    std::chrono::milliseconds timeout) const = 0;
    // Waits until `count` downloads have completed and everything the terminal answered,
    // the final acknowledgement included, has been handed to the client's connection; false
    // on time-out (real time).
    virtual bool wait_for_acknowledged_downloads(std::uint32_t count,
                                                 std::chrono::milliseconds timeout) const = 0;

    virtual std::vector<LineEvent> line_log() const = 0;
    virtual void clear_line_log() = 0;

    // Unplug: remove the announcement, drop the connection, stop listening. Replug: listen
    // again (the same port number when it is free) and announce again. False when the state
    // did not allow it or the port could not be bound.
    virtual bool unplug() = 0;
    virtual bool replug() = 0;
    virtual bool plugged_in() const = 0;
    // Stops serving, drops the connection and removes the announcement. Idempotent.
    virtual void stop() = 0;
};

// Text of a line event for diagnostics ("BlockIn 12 40 05 ...").
std::string describe(const LineEvent& event);

} // namespace sim
