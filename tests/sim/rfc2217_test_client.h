#pragma once
// A bare RFC 2217 client for tests: Telnet framing through the shared codec, TCP through the
// simulator's socket layer, and waits with a real-time limit.
#include "platform/io/tcp_socket.h"
#include "platform/serial/rfc2217_codec.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim::test {

class Rfc2217TestClient final : private platform::rfc2217::StreamHandler {
  public:
    using Bytes = std::vector<std::uint8_t>;
    struct Reply {
        std::uint8_t command;
        Bytes value;
    };

    bool connect(std::uint16_t port) {
        std::string error;
        connection_ = platform::TcpConnection::connect_local(port, error);
        waiter_ = platform::TcpWaiter::create(error);
        return connection_ && waiter_;
    }

    void send_raw(const Bytes& bytes) {
        std::size_t sent = 0;
        while (connection_ && sent < bytes.size()) {
            const auto n = connection_->write(std::span(bytes).subspan(sent));
            if (!n) {
                closed_ = true;
                return;
            }
            if (*n == 0) {
                waiter_->wait(nullptr, connection_.get(), true,
                              std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
            }
            sent += *n;
        }
    }
    void send_data(const Bytes& data) {
        Bytes framed;
        platform::rfc2217::append_escaped(framed, data);
        send_raw(framed);
    }
    void send_com_port(std::uint8_t command, const Bytes& value) {
        Bytes frame;
        platform::rfc2217::append_com_port(frame, command, value);
        send_raw(frame);
    }
    void break_pulse() {
        send_com_port(platform::rfc2217::kSetControl, {platform::rfc2217::kControlBreakOn});
        send_com_port(platform::rfc2217::kSetControl, {platform::rfc2217::kControlBreakOff});
    }

    // Reads until `count` data bytes are there (or the limit passes); returns at most `count`
    // of them and keeps the rest for the next read.
    Bytes read_data(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        pump_until([&] { return data_.size() >= count; }, limit);
        const std::size_t n = std::min(count, data_.size());
        Bytes out(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
        data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    // Reads until `count` COM-PORT replies are there.
    std::vector<Reply> read_replies(std::size_t count,
                                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        pump_until([&] { return replies_.size() >= count; }, limit);
        std::vector<Reply> out;
        out.swap(replies_);
        return out;
    }
    // True when the server closes the connection within the limit.
    bool closed_within(std::chrono::milliseconds limit) {
        pump_until([&] { return closed_; }, limit);
        return closed_;
    }
    const std::vector<std::pair<std::uint8_t, std::uint8_t>>& negotiations() const {
        return negotiations_;
    }
    void pump(std::chrono::milliseconds limit) {
        pump_until([] { return false; }, limit);
    }

  private:
    template <typename Done> void pump_until(Done done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        Bytes buffer(65536);
        while (!done() && !closed_ && connection_ && std::chrono::steady_clock::now() < deadline) {
            const auto result = waiter_->wait(nullptr, connection_.get(), false, deadline);
            if (!result.connection_readable) {
                continue;
            }
            const auto n = connection_->read(buffer);
            if (!n) {
                closed_ = true;
                break;
            }
            parser_.feed(std::span(buffer).first(*n), *this);
        }
    }

    void on_data(std::span<const std::uint8_t> data) override {
        data_.insert(data_.end(), data.begin(), data.end());
    }
    void on_negotiation(std::uint8_t verb, std::uint8_t option) override {
        negotiations_.emplace_back(verb, option);
    }
    void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) override {
        if (option == platform::rfc2217::kOptionComPort && !payload.empty()) {
            replies_.push_back(Reply{payload[0], Bytes(payload.begin() + 1, payload.end())});
        }
    }

    std::unique_ptr<platform::TcpConnection> connection_;
    std::unique_ptr<platform::TcpWaiter> waiter_;
    platform::rfc2217::StreamParser parser_;
    Bytes data_;
    std::vector<Reply> replies_;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> negotiations_;
    bool closed_ = false;
};

} // namespace sim::test
