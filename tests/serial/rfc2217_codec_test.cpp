#include "platform/serial/rfc2217_codec.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace rfc = platform::rfc2217;

namespace {

// Records every event as text so that whole streams compare in one assertion.
class Recorder : public rfc::StreamHandler {
  public:
    void on_data(std::span<const std::uint8_t> bytes) override {
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    void on_negotiation(std::uint8_t verb, std::uint8_t option) override {
        events.push_back("neg " + std::to_string(verb) + " " + std::to_string(option));
    }
    void on_subnegotiation(std::uint8_t option, std::span<const std::uint8_t> payload) override {
        std::string text = "sb " + std::to_string(option);
        for (auto b : payload) {
            text += " " + std::to_string(b);
        }
        events.push_back(text);
    }
    void on_command(std::uint8_t command) override {
        events.push_back("cmd " + std::to_string(command));
    }
    std::vector<std::uint8_t> data;
    std::vector<std::string> events;
};

std::vector<std::uint8_t> sample_stream() {
    std::vector<std::uint8_t> out;
    rfc::append_negotiation(out, rfc::kWill, rfc::kOptionBinary);
    const std::vector<std::uint8_t> data = {1, 255, 2, 255, 255, 3};
    rfc::append_escaped(out, data);
    rfc::append_com_port_u32(out, rfc::kSetBaudrate + rfc::kServerOffset, 0x0000FFFF);
    rfc::append_negotiation(out, rfc::kDo, rfc::kOptionComPort);
    out.push_back(rfc::kIac);
    out.push_back(rfc::kNop);
    rfc::append_com_port_u8(out, rfc::kPurgeData, rfc::kPurgeBoth);
    out.push_back(42);
    return out;
}

TEST(Rfc2217Codec, StreamParsesTheSameInAnyChunking) {
    const auto stream = sample_stream();
    Recorder whole;
    rfc::StreamParser parser;
    parser.feed(stream, whole);
    EXPECT_EQ(whole.data, (std::vector<std::uint8_t>{1, 255, 2, 255, 255, 3, 42}));
    EXPECT_EQ(whole.events, (std::vector<std::string>{"neg 251 0", "sb 44 101 0 0 255 255",
                                                      "neg 253 44", "cmd 241", "sb 44 12 3"}));

    for (std::size_t chunk = 1; chunk < 5; ++chunk) {
        Recorder pieces;
        rfc::StreamParser chunked;
        for (std::size_t i = 0; i < stream.size(); i += chunk) {
            chunked.feed(std::span(stream).subspan(i, std::min(chunk, stream.size() - i)), pieces);
        }
        EXPECT_EQ(pieces.data, whole.data) << "chunk " << chunk;
        EXPECT_EQ(pieces.events, whole.events) << "chunk " << chunk;
    }
}

TEST(Rfc2217Codec, OversizedAndBrokenSubnegotiationsAreDropped) {
    rfc::StreamParser parser(4);
    Recorder recorder;
    std::vector<std::uint8_t> stream;
    rfc::append_com_port(stream, rfc::kSetBaudrate, std::vector<std::uint8_t>(100, 7));
    rfc::append_com_port_u8(stream, rfc::kSetDatasize, 8); // fits: 2 bytes
    // Broken off by a negotiation: the subnegotiation is dropped, the negotiation stands.
    stream.insert(stream.end(), {rfc::kIac, rfc::kSb, 44, 1, 2, rfc::kIac, rfc::kWill, 3});
    stream.push_back('x');
    parser.feed(stream, recorder);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"sb 44 2 8", "neg 251 3"}));
    EXPECT_EQ(recorder.data, (std::vector<std::uint8_t>{'x'}));
    EXPECT_EQ(parser.dropped_subnegotiations(), 2u);
}

TEST(Rfc2217Codec, ComPortMessagesDecodeTheirNumbers) {
    std::vector<std::uint8_t> frame;
    rfc::append_com_port_u32(frame, rfc::kSetBaudrate, 57600);
    struct Capture : Recorder {
        void on_subnegotiation(std::uint8_t, std::span<const std::uint8_t> payload) override {
            message.assign(payload.begin(), payload.end());
        }
        std::vector<std::uint8_t> message;
    } capture;
    rfc::StreamParser parser;
    parser.feed(frame, capture);
    const auto decoded = rfc::decode_com_port(capture.message);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->command, rfc::kSetBaudrate);
    EXPECT_EQ(decoded->number(), 57600u);

    const std::vector<std::uint8_t> odd_length = {rfc::kSetBaudrate, 1, 2};
    EXPECT_FALSE(rfc::decode_com_port(odd_length)->number());
    EXPECT_FALSE(rfc::decode_com_port({}));
}

} // namespace
