#pragma once
// The server side of one RFC 2217 connection, free of sockets: Telnet bytes from the client
// go in, line events and data go to a LineSink in the order they came, and what the server
// answers (option negotiation, COM-PORT-OPTION acknowledgements) is appended to an output
// buffer.
#include "platform/serial/rfc2217_codec.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim {

// The terminal's end of the line.
class LineSink {
  public:
    virtual ~LineSink() = default;
    virtual void line_data(std::span<const std::uint8_t> data) = 0;
    virtual void line_break(bool on) = 0;
    // RFC 2217 PURGE-DATA value: 1 the server's receive buffer (data towards the client),
    // 2 its transmit buffer (data towards the terminal), 3 both.
    virtual void line_purge(std::uint8_t what) = 0;
    virtual void line_settings_changed() = 0;
};

struct LineState {
    std::uint32_t baud = 57600;
    std::uint8_t data_size = 8;
    std::uint8_t parity = platform::rfc2217::kParityNone;
    std::uint8_t stop_size = platform::rfc2217::kStopOne;
    std::uint8_t flow = platform::rfc2217::kControlFlowNone;
    bool break_on = false;
    bool dtr = true;
    bool rts = true;
    std::uint8_t linestate_mask = 0;
    std::uint8_t modemstate_mask = 0;
};

class Rfc2217Session final : private platform::rfc2217::StreamHandler {
  public:
    explicit Rfc2217Session(LineSink& sink);

    // What the server says first: it offers binary transmission and suppress-go-ahead both
    // ways and asks the client for the COM-PORT-OPTION.
    void start(std::vector<std::uint8_t>& out);
    // Bytes from the client.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);
    // Data towards the client, IAC doubled.
    static void append_data(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data);

    const LineState& line() const { return line_; }
    bool com_port_enabled() const { return remote_[platform::rfc2217::kOptionComPort].enabled; }
    const std::string& client_signature() const { return client_signature_; }

  private:
    struct OptionState {
        bool enabled = false;
        bool requested = false; // we asked and wait for the answer
    };

    void on_data(std::span<const std::uint8_t> data) override;
    void on_negotiation(std::uint8_t verb, std::uint8_t option) override;
    void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) override;

    void com_port_command(std::uint8_t command, std::span<const std::uint8_t> value);
    void set_control(std::uint8_t value);
    void request_option(std::uint8_t verb, std::uint8_t option);

    LineSink& sink_;
    platform::rfc2217::StreamParser parser_;
    std::vector<std::uint8_t>* out_ = nullptr; // valid during receive()
    std::array<OptionState, 256> local_{};     // options the server performs (WILL)
    std::array<OptionState, 256> remote_{};    // options the client performs (DO)
    LineState line_;
    std::string client_signature_;
};

} // namespace sim
