#include "sim/sample_update_load.h"

#include "platform/devices/device_io.h"
#include "platform/devices/device_set.h"
#include "platform/serial/serial_port.h"
#include "sample_image.h"
#include "sim/reader_answers.h"
#include "sim/terminal.h"
#include "wrapper/reader_description.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace sim {
namespace {

// Time for each answer of the terminal: an image ends with a pause of up to 100 ms on its
// side, and a slow line may be emulated.
constexpr std::uint32_t kAnswerTimeMs = 10000;

std::string usb_enumerator(std::uint16_t vid, std::uint16_t pid) {
    char text[32];
    std::snprintf(text, sizeof text, "USB\\Vid_%04x&Pid_%04x", vid, pid);
    return text;
}

std::optional<platform::DeviceRecord> first_device(std::string_view class_guid,
                                                   const valdrun::ReaderDescription& described) {
    const auto devices =
        platform::present_devices(class_guid, usb_enumerator(described.vid, described.pid));
    if (!devices || devices->empty())
        return std::nullopt;
    return devices->front();
}

bool acknowledged(platform::SerialPort& port) {
    std::uint8_t byte = 0;
    const auto read = port.read({&byte, 1});
    return read && *read == 1 && byte == kAck;
}

bool send(platform::SerialPort& port, std::span<const std::uint8_t> bytes) {
    const auto written = port.write(bytes);
    return written && *written == bytes.size();
}

// The size of data block `index` as the terminal counts them (firmware 256, 256, 261, then up
// to 65536; application 256, 256, then up to 65536).
std::size_t block_size(std::size_t index, bool firmware) {
    if (index < 2)
        return 256;
    return firmware && index == 2 ? 261 : 65536;
}

// The download-mode handshake (two break pulses), the upgrade request and the image in
// acknowledged blocks; the whole image is acknowledged once more.
bool download(platform::SerialPort& port, const std::vector<std::uint8_t>& image, bool firmware) {
    for (int pulse = 0; pulse < 2; ++pulse) {
        if (!port.set_break(true) || !port.set_break(false))
            return false;
    }
    const std::uint8_t request = firmware ? kFirmwareUpgradeRequest : kApplicationUpgradeRequest;
    if (!acknowledged(port) || !send(port, {&request, 1}) || !acknowledged(port))
        return false;
    std::size_t sent = 0;
    for (std::size_t index = 0; sent < image.size(); ++index) {
        const std::size_t size = std::min(block_size(index, firmware), image.size() - sent);
        if (!send(port, std::span(image).subspan(sent, size)) || !acknowledged(port))
            return false;
        sent += size;
    }
    return acknowledged(port);
}

bool load_terminal(const valdrun::ReaderDescription& described, std::string& problem) {
    const auto device = first_device(platform::kPortsClass, described);
    const auto port_name = device ? device->key_value("PortName") : std::nullopt;
    auto port = port_name ? platform::SerialPort::open(*port_name) : nullptr;
    if (!port) {
        problem = "no described terminal to open";
        return false;
    }
    if (!port->set_timeouts({0, 0, kAnswerTimeMs, 0, kAnswerTimeMs})) {
        problem = "the terminal's port refuses its settings";
        return false;
    }
    const auto product =
        described.vid == 0x1513 ? sample::Product::Pellax : sample::Product::Halvane;
    const auto& firmware = described.target_firmware;
    const auto& application = described.target_application;
    const auto part = [&](sample::ImageKind kind, const valdrun::Version& version) {
        return sample::make_image(
            {kind, product, 16 * 1024, static_cast<std::uint8_t>(version.major),
             static_cast<std::uint8_t>(version.minor), static_cast<std::uint8_t>(version.build)});
    };
    if (!download(*port, part(sample::ImageKind::Firmware, firmware), true) ||
        !download(*port, part(sample::ImageKind::Application, application), false)) {
        problem = "the terminal did not take the images";
        return false;
    }
    return true;
}

bool load_reader(const valdrun::ReaderDescription& described, std::string& problem) {
    const auto device = first_device(kReaderInterfaceClass, described);
    auto reader = device ? platform::DeviceIo::open(device->interface_path) : nullptr;
    if (!reader) {
        problem = "no described reader to open";
        return false;
    }
    const std::uint8_t version[2] = {static_cast<std::uint8_t>(described.target_firmware.major),
                                     static_cast<std::uint8_t>(described.target_firmware.minor)};
    if (!reader->control(kFirmwareLoadRequestCode, version, 0)) {
        problem = "the reader refused the firmware";
        return false;
    }
    return true;
}

} // namespace

LoadOutcome load_described_device(const std::string& description_path, std::string& problem) {
    std::error_code ignored;
    if (!std::filesystem::exists(description_path, ignored))
        return LoadOutcome::NoDescription;
    const auto described = valdrun::read_reader_description(description_path);
    if (!described) {
        problem = description_path + ": not a usable reader description";
        return LoadOutcome::Failed;
    }
    if (!described->slot_described(0)) {
        problem = "the sample tool loads only a terminal or a USB reader";
        return LoadOutcome::Failed;
    }
    const bool loaded =
        described->terminal ? load_terminal(*described, problem) : load_reader(*described, problem);
    return loaded ? LoadOutcome::Loaded : LoadOutcome::Failed;
}

} // namespace sim
