#pragma once
// The smart-card resource manager as the reader route uses it (the PC/SC interface: WinSCard
// on Windows, pcsc-lite on Linux, with the same calls: smart_card_pcsc.cpp); the form of the
// control codes has one file per platform.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace valdrun {

// A reader's own control request (its Windows I/O control code) in the form the smart-card
// service passes to the reader's driver: pcsc-lite's SCARD_CTL_CODE of its function
// (platform/devices/smart_card_control.h), for the descriptor and the version request alike.
std::uint32_t smart_card_control_code(std::uint32_t device_code);

class SmartCardConnection {
  public:
    virtual ~SmartCardConnection() = default; // disconnects, unpowering the card
    // SCardControl: the reply (at most `capacity` bytes), or nothing on failure.
    virtual std::optional<std::vector<std::uint8_t>>
    control(std::uint32_t code, std::span<const std::uint8_t> input, std::size_t capacity) = 0;
};

class SmartCardContext {
  public:
    // SCardEstablishContext in user scope; null when the service cannot be reached (at once,
    // never waiting for a service that is not running).
    static std::unique_ptr<SmartCardContext> establish();
    virtual ~SmartCardContext() = default; // cancels pending requests, releases the context

    // SCardListReaders over all groups; nothing on failure or when no reader is there.
    virtual std::optional<std::vector<std::string>> list_readers() = 0;
    // Connects for direct access (no protocol), else shared with T=0 or T=1; null when both
    // fail.
    virtual std::unique_ptr<SmartCardConnection> connect(const std::string& reader) = 0;
    // SCardCancel: any thread.
    virtual void cancel() = 0;
};

} // namespace valdrun
