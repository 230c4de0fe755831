#include "wrapper/detection/serial_reader_frame.h"

#include <array>

namespace valdrun {
namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kAddress = 0x01;
constexpr std::uint8_t kWaitAddress = 0xFE;
constexpr std::uint8_t kEscapeRequest = 0x6B;
constexpr std::uint8_t kEscapeReply = 0x83;
constexpr std::size_t kMessageOffset = 5;
constexpr std::size_t kReplyDataOffset = 10;

// Reads logical bytes of a frame body: a doubled 10 counts once; a 10 followed by anything
// else is a broken frame.
class Unstuffer {
  public:
    explicit Unstuffer(FrameInput& input) : input_(input) {}
    bool read(std::uint8_t& byte) {
        if (!input_.read(std::span(&byte, 1)))
            return false;
        if (byte != kDle)
            return true;
        std::uint8_t second = 0;
        return input_.read(std::span(&second, 1)) && second == kDle;
    }
    bool read(std::span<std::uint8_t> bytes) {
        for (std::uint8_t& byte : bytes) {
            if (!read(byte))
                return false;
        }
        return true;
    }

  private:
    FrameInput& input_;
};

// One frame after its two start bytes and its address: length, body, check byte and the two
// closing bytes, unstuffed, appended to `log`. False when it is broken or too long.
bool read_frame_rest(FrameInput& input, std::vector<std::uint8_t>& log) {
    Unstuffer body(input);
    std::array<std::uint8_t, 2> length_bytes{};
    if (!body.read(length_bytes))
        return false;
    const std::size_t length = length_bytes[0] | length_bytes[1] << 8;
    if (length > kMaxFrameLength) {
        input.purge();
        return false;
    }
    log.insert(log.end(), length_bytes.begin(), length_bytes.end());
    std::vector<std::uint8_t> message(length + 1); // and the check byte
    if (!body.read(message))
        return false;
    log.insert(log.end(), message.begin(), message.end());
    std::array<std::uint8_t, 2> closing{};
    if (!input.read(closing))
        return false;
    log.insert(log.end(), closing.begin(), closing.end());
    return true;
}

} // namespace

std::vector<std::uint8_t> escape_frame(std::uint8_t command) {
    std::array<std::uint8_t, kEscapeFrameSize> frame = {
        kDle,           kStx, kAddress, 0x0B, 0x00, // start, address, length 11
        kEscapeRequest, 0x01, 0x00,     0x00, 0x00, // type, data length 1
        0x00,           0x01, 0x00,     0x00, 0x00, // slot 0, sequence 1, three zero bytes
        command,        0x00, kDle,     kEtx};      // command, check byte, end
    std::uint8_t check = 0;
    for (std::size_t i = 2; i < 16; ++i)
        check ^= frame[i];
    frame[16] = check;
    std::vector<std::uint8_t> stuffed(frame.begin(), frame.begin() + 2);
    for (std::size_t i = 2; i <= 16; ++i) {
        stuffed.push_back(frame[i]);
        if (frame[i] == kDle)
            stuffed.push_back(kDle);
    }
    stuffed.push_back(kDle);
    stuffed.push_back(kEtx);
    return stuffed;
}

std::optional<std::vector<std::uint8_t>> receive_escape_reply(FrameInput& input) {
    std::vector<std::uint8_t> log;
    for (int waits = 0;; ++waits) {
        std::array<std::uint8_t, 2> start{};
        std::uint8_t address = 0;
        if (!input.read(start) || (start[0] != kDle && start[1] != kStx) ||
            !Unstuffer(input).read(address))
            return std::nullopt;
        log.assign(start.begin(), start.end());
        log.push_back(address);
        if (!read_frame_rest(input, log))
            return std::nullopt;
        if (address != kWaitAddress)
            break;
        if (waits + 1 >= kMaxWaitFrames)
            return std::nullopt;
        input.pause_after_wait_frame();
    }
    // The log: start (2), address, length (2), message, check byte, closing (2).
    if (log.size() <= 17)
        return std::nullopt;
    std::uint8_t check = 0;
    for (std::size_t i = 2; i <= log.size() - 4; ++i)
        check ^= log[i];
    if (check != log[log.size() - 3])
        return std::nullopt;
    const std::span<const std::uint8_t> message =
        std::span(log).subspan(kMessageOffset, log.size() - kMessageOffset - 3);
    if (message.size() < kReplyDataOffset || message[0] != kEscapeReply || message[6] != 1 ||
        (message[7] & 0x40) != 0)
        return std::nullopt;
    return std::vector<std::uint8_t>(message.begin() + kReplyDataOffset, message.end());
}

} // namespace valdrun
