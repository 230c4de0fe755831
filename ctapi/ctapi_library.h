#pragma once
// The library's process-wide state and what the CT-API entry points do with it. One terminal
// at a time; the entry points run on the caller's thread, one call at a time.
#include "block_protocol.h"
#include "device_monitor.h"
#include "terminal_link.h"

#include <atomic>
#include <cstdint>

namespace brantel {

// CT-API return codes.
enum : std::int8_t {
    kOk = 0,
    kErrInvalid = -1,
    kErrCt = -8,
    kErrTrans = -10,
    kErrMemory = -11,
};

inline constexpr std::uint16_t kMaxCommandLength = 512;
inline constexpr std::uint8_t kHostAddress = 2;
inline constexpr std::uint8_t kRemoteHostAddress = 5;
inline constexpr std::uint8_t kTerminalAddress = 1;
inline constexpr std::uint8_t kLastSlotAddress = 14;
inline constexpr std::uint8_t kOpenResetSource = 6;
inline constexpr std::uint8_t kCloseResetSource = 7;

class CtApiLibrary {
  public:
    CtApiLibrary() = default;
    // Unloading: the port is closed and the monitor stopped, nothing is sent.
    ~CtApiLibrary() { unload(); }
    CtApiLibrary(const CtApiLibrary&) = delete;
    CtApiLibrary& operator=(const CtApiLibrary&) = delete;

    [[nodiscard]] std::int8_t init(std::uint16_t ctn, std::uint16_t pn);
    [[nodiscard]] std::int8_t data(std::uint16_t ctn, std::uint8_t* dad, std::uint8_t* sad,
                                   std::uint16_t lenc, const std::uint8_t* command,
                                   std::uint16_t* lenr, std::uint8_t* response);
    [[nodiscard]] std::int8_t close(std::uint16_t ctn);
    void unload();

  private:
    [[nodiscard]] bool open_reset();
    bool is_current(std::uint16_t ctn) const { return current_terminal_.load() == ctn; }

    TerminalLink link_;
    BlockProtocol protocol_{link_};
    std::atomic<std::int32_t> current_terminal_{kNoTerminal};
    DeviceMonitor monitor_{link_, current_terminal_};
    std::uint32_t card_terminal_mode_ = 0;
};

} // namespace brantel
