#pragma once
// A simulated USB smart-card reader of the maker, for Valdrun's detection: a name, USB vendor
// and product identifiers and a firmware version, reachable three ways (docs/simulation.md):
//   - control requests over TCP (device_io_frame.h), which the PC/SC driver of the suite
//     (ReaderSimIfd.so, loaded by a private pcscd) and the device-interface route use;
//   - optionally announced as a device of the reader driver's interface class;
//   - optionally as a serial reader behind an RFC 2217 port, speaking the escape frames.
// Every member function may be called from any thread while the simulator runs.
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

struct ReaderFaults {
    bool no_answer = false;         // requests are read but never answered
    bool zero_identifiers = false;  // the descriptor carries vendor and product 0
    bool status_bit6 = false;       // serial replies carry status 0x40
    std::uint32_t wait_frames = 0;  // serial: wait frames before each reply
    bool long_version_only = false; // serial: the version command gets no answer
    bool vanished = false;          // gone: connections are dropped at once, the driver
                                    // reports the device as absent
};

struct ReaderOptions {
    // The reader's name: pcscd takes it from the FRIENDLYNAME of the reader.conf entry, so
    // it is only shown (ReaderSim's READY line) and written there by the one who starts pcscd.
    std::string name = "Ostrum Kartenleser";
    std::string serial = "RDR0001"; // USB serial number (instance ID, interface path)
    std::uint16_t vid = 0x04E6;
    std::uint16_t pid = 0x5720;
    std::uint8_t fw_major = 0x05;
    std::uint8_t fw_minor = 0x10;
    std::string devices_dir;         // empty: $MORLIN_DEVICES
    bool announce_interface = false; // announce a device of the reader interface class
    bool serial_port = false;        // serve the serial reader on an RFC 2217 port ...
    std::string port_name;           // ... announced with this PortName (empty: lowest free)
    std::string hardware_id = "SERENUM\\OST5720"; // the serial device's hardware ID
    ReaderFaults faults;
};

class ReaderSimulator {
  public:
    static std::unique_ptr<ReaderSimulator> start(const ReaderOptions& options,
                                                  std::string* error = nullptr);
    virtual ~ReaderSimulator() = default;

    // "ioctl://127.0.0.1:<port>": the control address (the PC/SC driver's DEVICENAME).
    virtual std::string control_address() const = 0;
    virtual std::string serial_port_name() const = 0; // empty without a serial side
    virtual void set_faults(const ReaderFaults& faults) = 0;
    virtual void set_firmware(std::uint8_t major, std::uint8_t minor) = 0;
    virtual void stop() = 0;
};

} // namespace sim
