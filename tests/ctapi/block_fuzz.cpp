// Fuzz target: the block parser fed as the terminal's side. The first byte picks the command
// length and addresses; the rest is the stream of bytes the terminal sends, read block by
// block as the serial link reads it. Exchanges run until the stream is used up.
#include "block_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class StreamTerminal : public brantel::BlockTransport {
  public:
    StreamTerminal(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool transceive(const brantel::BlockBuffer& transmit, brantel::BlockBuffer& receive,
                    std::uint8_t patience) override {
        if (brantel::block_size(transmit) > transmit.size())
            __builtin_trap();
        return this->receive(receive, patience);
    }
    bool receive(brantel::BlockBuffer& receive, std::uint8_t) override {
        if (!take(receive.data(), brantel::kHeaderSize))
            return false;
        return take(receive.data() + brantel::kHeaderSize, receive[brantel::kLenOffset] + 1u);
    }
    void discard_input() override {}
    bool exhausted() const { return position_ >= size_; }

  private:
    bool take(std::uint8_t* into, std::size_t count) {
        if (size_ - position_ < count) {
            position_ = size_;
            return false;
        }
        std::memcpy(into, data_ + position_, count);
        position_ += count;
        return true;
    }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t choice = data[0];
    StreamTerminal terminal(data + 1, size - 1);
    brantel::BlockProtocol protocol(terminal);
    protocol.reset();

    std::vector<std::uint8_t> command(choice & 0x80 ? 600u : 5u + (choice & 0x0F), 0x00);
    std::vector<std::uint8_t> response(4096);
    for (int round = 0; round < 64 && !terminal.exhausted(); ++round) {
        brantel::ExchangeAddresses addresses{static_cast<std::uint8_t>(choice & 0x01), 2};
        std::uint16_t capacity = (choice & 0x40) ? 4096 : 2;
        // Any result will do; the buffers must hold.
        static_cast<void>(
            protocol.exchange(addresses, command, response, capacity, (choice & 0x20) != 0));
        if (capacity > response.size())
            __builtin_trap();
    }
    return 0;
}
