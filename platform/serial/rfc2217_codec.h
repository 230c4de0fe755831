#pragma once
// The byte layer of a serial port carried over Telnet (RFC 854 / RFC 855) with the COM-PORT-OPTION
// of RFC 2217: constants, an incremental stream parser and frame encoders. Pure code without
// sockets; the client port (rfc2217_port.cpp) and the simulated devices' server share it.
//
// Threads: a StreamParser belongs to one thread at a time; the encoders are free functions.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::rfc2217 {

// Telnet commands (RFC 854).
inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kGa = 249;
inline constexpr std::uint8_t kNop = 241;
inline constexpr std::uint8_t kSe = 240;

// Telnet options.
inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers with the same
// command plus kServerOffset.
enum ComPortCommand : std::uint8_t {
    kSignature = 0,
    kSetBaudrate = 1,
    kSetDatasize = 2,
    kSetParity = 3,
    kSetStopsize = 4,
    kSetControl = 5,
    kNotifyLinestate = 6,
    kNotifyModemstate = 7,
    kFlowcontrolSuspend = 8,
    kFlowcontrolResume = 9,
    kSetLinestateMask = 10,
    kSetModemstateMask = 11,
    kPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// SET-PARITY values.
enum ParityValue : std::uint8_t {
    kParityRequest = 0,
    kParityNone = 1,
    kParityOdd = 2,
    kParityEven = 3,
    kParityMark = 4,
    kParitySpace = 5
};
// SET-STOPSIZE values.
enum StopSizeValue : std::uint8_t {
    kStopRequest = 0,
    kStopOne = 1,
    kStopTwo = 2,
    kStopOnePointFive = 3
};
// SET-CONTROL values (the ones a serial port needs).
enum ControlValue : std::uint8_t {
    kControlRequestFlow = 0,
    kControlFlowNone = 1,
    kControlFlowXonXoff = 2,
    kControlFlowHardware = 3,
    kControlRequestBreak = 4,
    kControlBreakOn = 5,
    kControlBreakOff = 6,
    kControlRequestDtr = 7,
    kControlDtrOn = 8,
    kControlDtrOff = 9,
    kControlRequestRts = 10,
    kControlRtsOn = 11,
    kControlRtsOff = 12,
};
// PURGE-DATA values.
enum PurgeValue : std::uint8_t { kPurgeReceive = 1, kPurgeTransmit = 2, kPurgeBoth = 3 };

// Longest subnegotiation payload kept by default (the option byte not counted). COM-PORT
// messages are at most a few bytes; a SIGNATURE text is short.
inline constexpr std::size_t kDefaultMaxPayload = 256;

// What the parser reports. Data spans are only valid during the call.
class StreamHandler {
  public:
    virtual ~StreamHandler() = default;
    // Data bytes, with IAC IAC already turned into one 255.
    virtual void on_data(std::span<const std::uint8_t> data) = 0;
    // IAC WILL/WONT/DO/DONT <option>.
    virtual void on_negotiation(std::uint8_t verb, std::uint8_t option) = 0;
    // IAC SB <option> <payload> IAC SE, payload unescaped. Oversized ones are dropped (counted).
    virtual void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) = 0;
    // Any other IAC <command> (NOP, GA, BRK, ...).
    virtual void on_command(std::uint8_t /*command*/) {}
};

// Incremental parser of a Telnet byte stream: bytes may arrive in any chunking.
class StreamParser {
  public:
    explicit StreamParser(std::size_t max_payload = kDefaultMaxPayload);

    void feed(std::span<const std::uint8_t> bytes, StreamHandler& handler);
    void reset();
    // Subnegotiations dropped because they exceeded the payload bound or broke off.
    std::size_t dropped_subnegotiations() const { return dropped_; }

  private:
    enum class State : std::uint8_t { Data, Iac, Verb, SbOption, SbPayload, SbIac };
    void end_subnegotiation(StreamHandler& handler);

    std::size_t max_payload_;
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sb_option_ = 0;
    bool sb_overflow_ = false;
    std::vector<std::uint8_t> payload_;
    std::size_t dropped_ = 0;
};

// A COM-PORT-OPTION subnegotiation payload split into its command and value.
struct ComPortMessage {
    std::uint8_t command = 0; // as sent: client numbers, or +kServerOffset from a server
    std::span<const std::uint8_t> value;

    // The value as a big-endian number of 1 or 4 bytes (baud rate, data size, ...).
    std::optional<std::uint32_t> number() const;
};
std::optional<ComPortMessage> decode_com_port(std::span<const std::uint8_t> payload);

// Encoders: each appends one frame to `out`.
// Data with every 255 doubled.
void append_escaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data);
std::array<std::uint8_t, 3> negotiation(std::uint8_t verb, std::uint8_t option);
void append_negotiation(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option);
// IAC SB <option> <payload escaped> IAC SE.
void append_subnegotiation(std::vector<std::uint8_t>& out, std::uint8_t option,
                           std::span<const std::uint8_t> payload);
// A COM-PORT-OPTION message: IAC SB 44 <command> <value> IAC SE.
void append_com_port(std::vector<std::uint8_t>& out, std::uint8_t command,
                     std::span<const std::uint8_t> value);
// The same with a one-byte or a four-byte (big-endian) value.
void append_com_port_u8(std::vector<std::uint8_t>& out, std::uint8_t command, std::uint8_t value);
void append_com_port_u32(std::vector<std::uint8_t>& out, std::uint8_t command, std::uint32_t value);

} // namespace platform::rfc2217
