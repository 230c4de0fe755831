#pragma once
// What the simulated reader answers, free of sockets: control requests, and the escape frames
// of its serial side.
#include "platform/devices/device_io_frame.h"
#include "sim/reader_simulator.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sim {

struct ReaderState {
    std::uint16_t vid = 0, pid = 0;
    std::uint8_t fw_major = 0, fw_minor = 0;
    ReaderFaults faults;
};

// The interface class of the reader driver, under which the reader's device is announced.
inline constexpr std::string_view kReaderInterfaceClass = "{077E2F20-E171-4DC6-8A24-ECEA3035C257}";

inline constexpr std::uint32_t kDescriptorRequestCode = 0x221808;
inline constexpr std::uint32_t kDeviceVersionRequestCode = 0x312004; // the driver's own code
// The maker's firmware load request, which its update tool sends: input the new firmware's
// major and minor number, no output. The reader runs that firmware from then on.
inline constexpr std::uint32_t kFirmwareLoadRequestCode = 0x312008;
inline constexpr std::uint32_t kErrorInvalidFunction = 1;

// The answer to a control request in the device's own (Windows) codes; the pcscd driver
// turns pcsc-lite's codes into these.
platform::DeviceIoReply answer_control(const ReaderState& state,
                                       const platform::DeviceIoRequest& request);

// Collects the serial line's bytes into escape request frames (DLE STX ... DLE ETX, stuffing
// removed). Bytes outside a frame are dropped.
class EscapeFrameCollector {
  public:
    // Feeds bytes; returns the command bytes of the complete requests among them.
    std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes);

  private:
    std::vector<std::uint8_t> frame_; // unstuffed, from the address on
    bool in_frame_ = false;
    bool after_dle_ = false;
};

// The bytes the reader sends for one command: its wait frames, then the reply frame (or
// nothing when it does not answer that command).
std::vector<std::uint8_t> answer_escape(const ReaderState& state, std::uint8_t command);

} // namespace sim
