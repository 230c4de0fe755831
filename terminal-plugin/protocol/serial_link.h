#pragma once
// The terminal's serial link: the COM port opened at 57600 baud 8N1, transmits and receives
// under limits counted in read attempts of one second, exchanges, break pulses, purge, and
// the two fixed status queries. At most one port is open at a time.
//
// Threads: used by the thread running a plug-in call; the abort flag may be set meanwhile by
// the device monitor thread (it is read between pieces and read attempts), and any thread may
// end a pending read or write with cancel_pending().
#include "status_response.h"
#include "terminal-plugin/abort_flag.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <platform/serial/serial_port.h>
#include <span>
#include <string_view>
#include <vup_plugin.h>

namespace vupporta {

inline constexpr std::uint8_t kAck = 0x06;

// Opens a port by its device path ("\\.\COM3"); the product uses platform::SerialPort::open.
using PortOpener = std::function<std::unique_ptr<platform::SerialPort>(std::string_view)>;

class SerialLink {
  public:
    static constexpr std::uint32_t kBaud = 57600;
    static constexpr std::size_t kPieceSize = 128;
    static constexpr std::uint32_t kReadAttemptMs = 1000;
    // A write may take the line time of its bytes (10 bits a byte at 57600 baud is under
    // 1 ms a byte) and a margin for the port's own delays, and no longer.
    static constexpr std::uint32_t kWriteMsPerByte = 1;
    static constexpr std::uint32_t kWriteMarginMs = 1000;

    explicit SerialLink(PortOpener opener = {});

    // Opens the port of a terminal ("COM3") and sets its line: 0 or 729. Forgets any port
    // held before.
    [[nodiscard]] VUPResult open(std::string_view port_name);
    void close();
    bool is_open() const { return port_ != nullptr; }
    // Ends a read or write pending on the port (it then fails); any thread. Does nothing
    // when no port is open.
    void cancel_pending();
    // Whether the port reported the device gone since it was last opened; stays set after
    // close() until the next open().
    bool device_lost() const { return device_lost_; }

    void set_abort_flag(AbortFlag flag) { abort_ = flag; }
    const AbortFlag& abort_flag() const { return abort_; }

    // Sends the whole buffer within its line time and a margin: 0 or 212.
    [[nodiscard]] VUPResult transmit(std::span<const std::uint8_t> data);
    // Receives exactly buffer.size() bytes within `time_limit_ms` (a multiple of 1000; 0 means
    // one read attempt): 0, 200 (fewer bytes), 212 (aborted) or 731 (nothing).
    [[nodiscard]] VUPResult receive(std::span<std::uint8_t> buffer, std::uint32_t time_limit_ms);
    // Takes what the port has already received, without waiting and whether or not the abort
    // flag is set: 0 when it fills the buffer, else 731.
    [[nodiscard]] VUPResult take_received(std::span<std::uint8_t> buffer);
    // Transmits in pieces of at most 128 bytes, then receives the answer: 0 or a code.
    [[nodiscard]] VUPResult exchange(std::span<const std::uint8_t> request,
                                     std::span<std::uint8_t> answer, std::uint32_t time_limit_ms);
    // Sets the break condition and clears it at once.
    [[nodiscard]] bool break_pulse();
    // Discards pending transmit and receive operations.
    void purge();
    // Changes only the read total time-out multiplier (kMaxDword, 1 or 0).
    void set_read_timing(std::uint32_t multiplier);

    // GET STATUS for the manufacturer data object, one retry on a bad status word:
    // 0 or a code (756 after two bad status words).
    [[nodiscard]] VUPResult manufacturer_status(StatusResponse& response);
    // The short status query: 0 or 733.
    [[nodiscard]] VUPResult short_status();

  private:
    VUPResult query_status_block(std::span<const std::uint8_t> block, StatusResponse& response);
    void note_failure();
    void bound_writes();
    void replace_port(std::unique_ptr<platform::SerialPort> port);

    PortOpener opener_;
    // Written only by the thread of the plug-in call, under the mutex, so that
    // cancel_pending() on another thread never meets a port being closed.
    std::mutex port_mutex_;
    std::unique_ptr<platform::SerialPort> port_;
    AbortFlag abort_;
    bool device_lost_ = false;
};

} // namespace vupporta
