// Feeds arbitrary bytes, split at a point taken from the input, through the Telnet stream parser.
#include "platform/serial/rfc2217_codec.h"

#include <cstddef>
#include <cstdint>

namespace {

class Sink : public platform::rfc2217::StreamHandler {
  public:
    void on_data(std::span<const std::uint8_t> data) override { total += data.size(); }
    void on_negotiation(std::uint8_t, std::uint8_t) override {}
    void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) override {
        if (payload.size() > platform::rfc2217::kDefaultMaxPayload) {
            __builtin_trap();
        }
        if (option == platform::rfc2217::kOptionComPort) {
            if (auto message = platform::rfc2217::decode_com_port(payload)) {
                (void)message->number();
            }
        }
    }
    std::size_t total = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t split = data[0] % size;
    std::span<const std::uint8_t> bytes(data, size);
    platform::rfc2217::StreamParser parser;
    Sink sink;
    parser.feed(bytes.first(split), sink);
    parser.feed(bytes.subspan(split), sink);
    if (sink.total > size) {
        __builtin_trap();
    }
    return 0;
}
