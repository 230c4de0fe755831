#pragma once
// A serial port as the terminal links expect of a Windows COM port opened for overlapped I/O:
// exclusive open with a distinguishable "busy", line settings, the Windows communication
// time-out rules, break, purge, and reads that another thread can end.
//
// Port names: "COM3", "\\.\COM3" (the prefix "\\.\" is dropped), a device path
// ("/dev/ttyACM0"), or an RFC 2217 address ("rfc2217://127.0.0.1:4000"). A plain name is first
// looked up among the simulated devices announced in MORLIN_DEVICES (their PortName, ignoring
// case); a match opens that device's RFC 2217 address. Otherwise a plain name is "/dev/<name>".
//
// Threads: one thread uses a port at a time, except cancel(), which any thread may call while
// another thread waits in read() or write().
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace platform {

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : std::uint8_t { One, OnePointFive, Two };
enum class DtrControl : std::uint8_t { Disable, Enable, Handshake };

struct LineSettings { // the fields of a DCB that the links touch
    std::uint32_t baud = 9600;
    std::uint8_t data_bits = 8;
    Parity parity = Parity::None;
    StopBits stop_bits = StopBits::One;
    bool binary = true;
    DtrControl dtr = DtrControl::Enable;
};

// COMMTIMEOUTS. The read rules are those of Windows:
// - interval kMaxDword, multiplier 0, constant 0: return at once with what is there;
// - interval kMaxDword, multiplier kMaxDword, 0 < constant < kMaxDword: return as soon as at
//   least one byte is there, or after `constant` ms with none;
// - otherwise a read ends when all bytes are there, or when the total time-out
//   (multiplier * requested + constant; none when both are 0) has passed, or when the gap
//   between two bytes exceeds the interval time-out (0 = none; kMaxDword alone = none).
// Write: total time-out multiplier * bytes + constant (both 0 = none).
// Every time-out is a protocol wait and is scaled by the clock (see clock.h).
struct Timeouts {
    std::uint32_t read_interval = 0;
    std::uint32_t read_total_multiplier = 0;
    std::uint32_t read_total_constant = 0;
    std::uint32_t write_total_multiplier = 0;
    std::uint32_t write_total_constant = 0;
};

enum PurgeFlags : std::uint32_t { // PurgeComm
    kPurgeTxAbort = 0x1,
    kPurgeRxAbort = 0x2,
    kPurgeTxClear = 0x4,
    kPurgeRxClear = 0x8,
};

class SerialPort {
  public:
    // Opens a port exclusively. Null on failure with the last error set:
    // kErrorAccessDenied when another program holds the port (busy), kErrorFileNotFound when
    // there is no such port, another code otherwise.
    [[nodiscard]] static std::unique_ptr<SerialPort> open(std::string_view name);
    virtual ~SerialPort() = default;

    [[nodiscard]] virtual bool get_line_settings(LineSettings& settings) = 0;
    [[nodiscard]] virtual bool set_line_settings(const LineSettings& settings) = 0;
    [[nodiscard]] virtual bool get_timeouts(Timeouts& timeouts) = 0;
    [[nodiscard]] virtual bool set_timeouts(const Timeouts& timeouts) = 0;
    [[nodiscard]] virtual bool setup_queues(std::uint32_t input_bytes,
                                            std::uint32_t output_bytes) = 0;

    // Reads under the time-out rules. Returns the bytes read (0 when a time-out passed with
    // none), or nothing on failure with the last error set: kErrorDeviceNotConnected when the
    // device went away, kErrorOperationAborted when cancel() or purge(kPurgeRxAbort) ended it.
    [[nodiscard]] virtual std::optional<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
    // Writes under the write time-outs. Returns the bytes written, or nothing on failure
    // (kErrorDeviceNotConnected, kErrorOperationAborted, kErrorTimeout).
    [[nodiscard]] virtual std::optional<std::size_t> write(std::span<const std::uint8_t> data) = 0;

    [[nodiscard]] virtual bool set_break(bool on) = 0;
    // Drops what the port holds. A port whose data travels in one stream with its control
    // requests (RFC 2217) does not wait for the server to confirm: bytes that arrive before the
    // confirmation are dropped, bytes written after the purge travel behind it.
    [[nodiscard]] virtual bool purge(std::uint32_t flags) = 0;
    // Ends a read or write pending on another thread (it fails with kErrorOperationAborted).
    // When none is pending, the next read or write ends so at once: a cancel is kept until an
    // operation has seen it, so that it cannot fall between a caller's check and its read.
    // purge() with an abort flag ends only a pending operation.
    virtual void cancel() = 0;
    // False once the device is known to be gone.
    virtual bool connected() const = 0;
};

} // namespace platform
