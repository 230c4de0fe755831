#include "sim/reader_answers.h"

namespace sim {
namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::size_t kVersionDataSize = 13;
constexpr std::size_t kLongVersionDataSize = 38;

// A frame around `body` (address, length, message): check byte, stuffing, DLE STX / DLE ETX.
std::vector<std::uint8_t> frame_around(std::vector<std::uint8_t> body) {
    std::uint8_t check = 0;
    for (std::uint8_t byte : body)
        check ^= byte;
    body.push_back(check);
    std::vector<std::uint8_t> frame = {kDle, kStx};
    for (std::uint8_t byte : body) {
        frame.push_back(byte);
        if (byte == kDle)
            frame.push_back(kDle);
    }
    frame.push_back(kDle);
    frame.push_back(kEtx);
    return frame;
}

std::vector<std::uint8_t> with_length(std::uint8_t address,
                                      const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> body = {address, static_cast<std::uint8_t>(message.size()),
                                      static_cast<std::uint8_t>(message.size() >> 8)};
    body.insert(body.end(), message.begin(), message.end());
    return body;
}

} // namespace

platform::DeviceIoReply answer_control(const ReaderState& state,
                                       const platform::DeviceIoRequest& request) {
    platform::DeviceIoReply reply;
    std::vector<std::uint8_t> output;
    if (request.code == kDescriptorRequestCode) {
        const std::uint16_t vid = state.faults.zero_identifiers ? 0 : state.vid;
        const std::uint16_t pid = state.faults.zero_identifiers ? 0 : state.pid;
        output = {0x12,
                  0x01,
                  0x10,
                  0x01,
                  0x00,
                  0x00,
                  0x00,
                  0x40,
                  static_cast<std::uint8_t>(vid),
                  static_cast<std::uint8_t>(vid >> 8),
                  static_cast<std::uint8_t>(pid),
                  static_cast<std::uint8_t>(pid >> 8),
                  0x00,
                  0x01,
                  0x01,
                  0x02,
                  0x03,
                  0x01};
    } else if (request.code == kDeviceVersionRequestCode) {
        output.assign(12, 0);
        output[6] = state.fw_major;
        output[7] = state.fw_minor;
    } else if (request.code == kFirmwareLoadRequestCode && request.input.size() == 2) {
        // loaded by the caller (the state is the reader's); nothing to answer
    } else {
        reply.status = kErrorInvalidFunction;
        return reply;
    }
    output.resize(std::min<std::size_t>(output.size(), request.output_capacity));
    reply.output = std::move(output);
    return reply;
}

std::vector<std::uint8_t> EscapeFrameCollector::feed(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> commands;
    for (std::uint8_t byte : bytes) {
        if (after_dle_) {
            after_dle_ = false;
            if (byte == kStx) {
                in_frame_ = true;
                frame_.clear();
            } else if (byte == kEtx && in_frame_) {
                in_frame_ = false;
                // address, length (2), message of 11 bytes, check byte
                std::uint8_t check = 0;
                for (std::uint8_t b : frame_)
                    check ^= b;
                if (frame_.size() == 15 && check == 0 && frame_[3] == 0x6B)
                    commands.push_back(frame_[13]);
            } else if (byte == kDle && in_frame_) {
                frame_.push_back(kDle);
            } else {
                in_frame_ = false;
            }
            continue;
        }
        if (byte == kDle)
            after_dle_ = true;
        else if (in_frame_ && frame_.size() < 2048)
            frame_.push_back(byte);
    }
    return commands;
}

std::vector<std::uint8_t> answer_escape(const ReaderState& state, std::uint8_t command) {
    std::vector<std::uint8_t> out;
    if (state.faults.no_answer || (command == 0x00 && state.faults.long_version_only))
        return out;
    for (std::uint32_t i = 0; i < state.faults.wait_frames; ++i) {
        const auto wait = frame_around(with_length(0xFE, {}));
        out.insert(out.end(), wait.begin(), wait.end());
    }
    const std::size_t size = command == 0x1E ? kLongVersionDataSize : kVersionDataSize;
    std::vector<std::uint8_t> message = {
        0x83, static_cast<std::uint8_t>(size),
        0x00, 0x00,
        0x00, 0x00,
        0x01, static_cast<std::uint8_t>(state.faults.status_bit6 ? 0x40 : 0x00),
        0x00, 0x00};
    std::vector<std::uint8_t> data(size, 0);
    data[0] = state.fw_major;
    data[1] = state.fw_minor;
    message.insert(message.end(), data.begin(), data.end());
    const auto reply = frame_around(with_length(0x01, message));
    out.insert(out.end(), reply.begin(), reply.end());
    return out;
}

} // namespace sim
