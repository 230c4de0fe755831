// ReaderSimIfd.so: a pcsc-lite reader driver (IFD handler) for the simulated readers. pcscd
// loads it for each reader.conf entry whose LIBPATH names it; the entry's DEVICENAME is the
// simulator's control address "ioctl://127.0.0.1:<port>". IFDHControl forwards every control
// request to the simulator as one request frame and returns its reply; there is never a card.
//
// The library is loaded into pcscd, so it stands alone: plain sockets, no sanitizer runtime.
#include "platform/devices/device_io_frame.h"
#include "platform/devices/smart_card_control.h"
#include "sim/reader_answers.h"

extern "C" { // the driver interface header is plain C
#include <PCSC/ifdhandler.h>
}

#include <arpa/inet.h>
#include <cstring>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReplyTimeoutMs = 1000;
constexpr const char* kScheme = "ioctl://127.0.0.1:";

// pcscd hands the driver SCARD_CTL_CODE(function); the simulated reader is asked with its own
// request of that function. Any other code (a Windows code passed on unchanged) is refused.
std::optional<std::uint32_t> device_code_of(DWORD code) {
    if ((code & ~platform::kPcscControlFunctionMask) != platform::kPcscControlBase)
        return std::nullopt;
    for (const std::uint32_t own : {sim::kDescriptorRequestCode, sim::kDeviceVersionRequestCode}) {
        if (platform::pcsc_control_code(own) == code)
            return own;
    }
    return std::nullopt;
}

std::mutex g_mutex;
std::map<DWORD, int> g_sockets;           // reader number (Lun >> 16) -> connected socket
std::map<DWORD, std::string> g_addresses; // reader number -> the simulator's address

int connect_to(const char* address) {
    const std::size_t scheme = std::strlen(kScheme);
    if (address == nullptr || std::strncmp(address, kScheme, scheme) != 0)
        return -1;
    const long port = std::strtol(address + scheme, nullptr, 10);
    if (port <= 0 || port > 65535)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool send_all(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// One request and its reply; nothing when the simulator is gone or silent.
std::optional<platform::DeviceIoReply> exchange(int fd, DWORD code, const UCHAR* input,
                                                DWORD input_length, DWORD capacity) {
    if (input_length > platform::kMaxDeviceIoBytes)
        return std::nullopt;
    platform::DeviceIoRequest request;
    request.code = static_cast<std::uint32_t>(code);
    request.output_capacity =
        static_cast<std::uint32_t>(std::min<DWORD>(capacity, platform::kMaxDeviceIoBytes));
    if (input != nullptr)
        request.input.assign(input, input + input_length);
    if (!send_all(fd, platform::encode_request(request)))
        return std::nullopt;
    std::vector<std::uint8_t> received;
    while (true) {
        bool bad = false;
        if (auto reply = platform::take_reply(received, request.output_capacity, bad))
            return reply;
        if (bad)
            return std::nullopt;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, kReplyTimeoutMs) <= 0)
            return std::nullopt;
        std::uint8_t chunk[1024];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return std::nullopt;
        received.insert(received.end(), chunk, chunk + n);
    }
}

// The reader's connection; a connection dropped after a missed answer is made again.
int socket_of(DWORD lun) {
    const auto found = g_sockets.find(lun >> 16);
    if (found != g_sockets.end())
        return found->second;
    const auto address = g_addresses.find(lun >> 16);
    if (address == g_addresses.end())
        return -1;
    const int fd = connect_to(address->second.c_str());
    if (fd >= 0)
        g_sockets[lun >> 16] = fd;
    return fd;
}

void forget(DWORD lun) {
    const auto found = g_sockets.find(lun >> 16);
    if (found != g_sockets.end()) {
        ::close(found->second);
        g_sockets.erase(found);
    }
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) RESPONSECODE IFDHCreateChannelByName(DWORD Lun,
                                                                            LPSTR DeviceName) {
    std::lock_guard lock(g_mutex);
    forget(Lun);
    const int fd = connect_to(DeviceName);
    if (fd < 0)
        return IFD_COMMUNICATION_ERROR;
    g_sockets[Lun >> 16] = fd;
    g_addresses[Lun >> 16] = DeviceName;
    return IFD_SUCCESS;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHCreateChannel(DWORD, DWORD) {
    return IFD_NOT_SUPPORTED; // readers are named by their control address
}

__attribute__((visibility("default"))) RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    std::lock_guard lock(g_mutex);
    forget(Lun);
    g_addresses.erase(Lun >> 16);
    return IFD_SUCCESS;
}

__attribute__((visibility("default"))) RESPONSECODE
IFDHGetCapabilities(DWORD, DWORD Tag, PDWORD Length, PUCHAR Value) {
    if ((Tag == TAG_IFD_SLOTS_NUMBER || Tag == TAG_IFD_SIMULTANEOUS_ACCESS) && *Length >= 1) {
        *Length = 1;
        Value[0] = 1;
        return IFD_SUCCESS;
    }
    return IFD_ERROR_TAG;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHSetCapabilities(DWORD, DWORD, DWORD,
                                                                        PUCHAR) {
    return IFD_ERROR_TAG;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHSetProtocolParameters(DWORD, DWORD, UCHAR,
                                                                              UCHAR, UCHAR, UCHAR) {
    return IFD_NOT_SUPPORTED;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHPowerICC(DWORD, DWORD, PUCHAR,
                                                                 PDWORD AtrLength) {
    *AtrLength = 0;
    return IFD_ICC_NOT_PRESENT;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHTransmitToICC(DWORD, SCARD_IO_HEADER,
                                                                      PUCHAR, DWORD, PUCHAR,
                                                                      PDWORD RxLength,
                                                                      PSCARD_IO_HEADER) {
    *RxLength = 0;
    return IFD_ICC_NOT_PRESENT;
}

__attribute__((visibility("default"))) RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode,
                                                                PUCHAR TxBuffer, DWORD TxLength,
                                                                PUCHAR RxBuffer, DWORD RxLength,
                                                                LPDWORD pdwBytesReturned) {
    std::lock_guard lock(g_mutex);
    *pdwBytesReturned = 0;
    const int fd = socket_of(Lun);
    if (fd < 0)
        return IFD_COMMUNICATION_ERROR;
    const auto device_code = device_code_of(dwControlCode);
    if (!device_code)
        return IFD_ERROR_NOT_SUPPORTED;
    const auto reply = exchange(fd, *device_code, TxBuffer, TxLength, RxLength);
    if (!reply) {
        forget(Lun); // a connection that missed its answer is out of step
        return IFD_COMMUNICATION_ERROR;
    }
    if (reply->status != 0)
        return IFD_COMMUNICATION_ERROR;
    std::memcpy(RxBuffer, reply->output.data(), reply->output.size());
    *pdwBytesReturned = static_cast<DWORD>(reply->output.size());
    return IFD_SUCCESS;
}

// The reader is there while its simulator answers; a card never is.
__attribute__((visibility("default"))) RESPONSECODE IFDHICCPresence(DWORD Lun) {
    std::lock_guard lock(g_mutex);
    const int fd = socket_of(Lun);
    if (fd < 0)
        return IFD_COMMUNICATION_ERROR;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) { // nothing is due from the simulator: this is its end
        forget(Lun);
        return IFD_COMMUNICATION_ERROR;
    }
    return IFD_ICC_NOT_PRESENT;
}

} // extern "C"
