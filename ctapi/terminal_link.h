#pragma once
// The serial link to the Halvane terminal: finding its port, opening and configuring it,
// moving whole blocks, and the link-lost state that the device monitor sets.
//
// Threads: everything here runs on the caller's thread, except mark_lost(),
// saved_port_present() and present_ports(), which the device monitor thread uses. The port
// itself is only ever opened and closed on the caller's thread: the monitor marks the link
// lost and cancels the read or write under way (or the next one, when none is), and the
// caller's thread closes the port when it next touches it. A loss and a reconnect are taken
// under one lock, so that a reconnect always comes after the monitor's decision.
#include "block_transport.h"
#include "os_family.h"
#include "platform/serial/serial_port.h"
#include "present_ports.h"
#include "removal_event.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace brantel {

enum class OpenResult { Success, Failure, Busy };

// Port settings of the terminal's link.
inline constexpr std::uint32_t kBaudRate = 57600;
inline constexpr std::uint32_t kQueueSize = 4096;
inline constexpr std::uint32_t kReadIntervalMs = 4000;
inline constexpr std::uint32_t kReadTotalConstantMs = 4000;
// Every write ends: a block of 258 bytes takes 45 ms on the line at 57600 baud.
inline constexpr std::uint32_t kWriteTotalMultiplierMs = 1;
inline constexpr std::uint32_t kWriteTotalConstantMs = 4000;
// Reconnect waits.
inline constexpr std::uint32_t kRemovalWaitMs = 3000;
inline constexpr std::uint32_t kReconnectSettleMs = 1000;

class TerminalLink : public BlockTransport {
  public:
    TerminalLink() = default;
    ~TerminalLink() override;
    TerminalLink(const TerminalLink&) = delete;
    TerminalLink& operator=(const TerminalLink&) = delete;

    void set_os_family(OsFamily family) { family_.store(family); }
    OsFamily os_family() const { return family_.load(); }

    // Port search in open mode: opens the first present terminal port that can be opened and
    // saves its path. Busy when the last port tried was held by another program.
    [[nodiscard]] OpenResult search_and_open();
    // Opens `path` exclusively and sets it up for the terminal (queues, time-outs, 57600 8N1).
    [[nodiscard]] OpenResult open(std::string_view path);
    // Closes the port if it is open. Caller's thread only.
    void close();
    // Whether the port is open and the link not lost.
    [[nodiscard]] bool is_open();

    void set_saved_path(std::string_view path);
    std::string saved_path() const;
    // Presence check of the saved port: from the set of present ports while the device
    // monitor keeps it, else by the port search in check mode.
    [[nodiscard]] bool saved_port_present() const;
    PresentPorts& present_ports() { return present_; }

    // Drops what both ways hold. The order of the stream keeps a purge ahead of what is
    // written after it, so it does not wait for the port to confirm it.
    [[nodiscard]] bool purge();
    // Writes the bytes within the write time-outs; false when the write fails. A device that
    // is gone closes the port.
    [[nodiscard]] bool write(std::span<const std::uint8_t> data);
    // Reads exactly buffer.size() bytes; after every read call the link must still be there.
    // The first bytes may take `patience` read time-outs to come.
    [[nodiscard]] bool read_exactly(std::span<std::uint8_t> buffer, std::uint8_t patience = 1);
    [[nodiscard]] bool transceive(const BlockBuffer& transmit, BlockBuffer& receive,
                                  std::uint8_t patience) override;
    [[nodiscard]] bool receive(BlockBuffer& receive, std::uint8_t patience) override;
    void discard_input() override;

    // Device monitor thread: the terminal's port is gone. Marks the link lost, signals the
    // removal event and ends a pending read or write.
    void mark_lost();
    bool link_lost() const { return lost_.load(); }
    // Forgets a loss and resets the removal event (the port stays as it is): monitor stop,
    // and a new open while no terminal is open.
    void forget_loss();
    RemovalEvent& removal_event() { return removal_; }

    // After a removal: waits for the removal event, lets the device settle and reopens the
    // saved port path once it is present again.
    [[nodiscard]] bool reconnect();

  private:
    // The port reported the device gone: closes it and marks the link lost. Caller's thread.
    void close_gone_device();
    // Closes the port when the monitor marked the link lost. Caller's thread only.
    void close_if_lost();
    platform::SerialPort* port() const { return port_.get(); }

    std::unique_ptr<platform::SerialPort> port_; // written only on the caller's thread
    mutable std::mutex
        mutex_; // guards port_ against cancel, saved_path_, and loss against reconnect
    std::string saved_path_;
    std::atomic<OsFamily> family_{OsFamily::Windows2000Up};
    std::atomic<bool> lost_{false};
    RemovalEvent removal_;
    PresentPorts present_;
};

} // namespace brantel
