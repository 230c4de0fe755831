// winscard.dll for the Wine checks only (never installed or shipped): the WinSCard calls that
// Valdrun makes, answered by simulated readers (ReaderSim) instead of a smart-card service.
// Wine's own winscard.dll knows no readers; with this one beside Valdrun.exe and
// WINEDLLOVERRIDES="winscard=n" the reader route runs its real calls against the simulators.
//
// The readers come from MORLIN_TEST_SCARD_READERS, entries separated by ';', each
// "<reader name>=<control address>", e.g. "Ostrum Kartenleser 0=ioctl://127.0.0.1:40211".
// A direct connection opens a TCP connection to the reader's control address; SCardControl
// sends each request there as one request frame with its Windows control code as it comes,
// as the smart-card service hands it to the reader's driver, and returns the reply's output
// (a status other than 0 is returned as it is, the driver's Windows error code). There is
// never a card: a shared connection fails with SCARD_E_NO_SMARTCARD. Whatever else is asked
// fails with an SCARD_E_ code.
#include "platform/devices/device_io_frame.h"
#include "platform/io/tcp_socket.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>
#include <windows.h>
#include <winscard.h>

namespace {

constexpr std::string_view kScheme = "ioctl://127.0.0.1:";
constexpr auto kReplyTime = std::chrono::milliseconds(1000);

struct Reader {
    std::string name;
    std::uint16_t port = 0;
};

// The readers of the environment, in their order; an entry without a usable address is left
// out.
std::vector<Reader> configured_readers() {
    std::vector<Reader> readers;
    const char* text = std::getenv("MORLIN_TEST_SCARD_READERS");
    std::string_view rest = text == nullptr ? "" : text;
    while (!rest.empty()) {
        const std::string_view entry = rest.substr(0, rest.find(';'));
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
        const std::size_t equals = entry.rfind('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        const std::string_view address = entry.substr(equals + 1);
        if (!address.starts_with(kScheme))
            continue;
        const std::string_view digits = address.substr(kScheme.size());
        Reader reader{std::string(entry.substr(0, equals))};
        const auto parsed =
            std::from_chars(digits.data(), digits.data() + digits.size(), reader.port);
        if (parsed.ec == std::errc{} && parsed.ptr == digits.data() + digits.size() &&
            reader.port != 0)
            readers.push_back(std::move(reader));
    }
    return readers;
}

// A reader's connection: its requests one at a time under its own lock, so that a silent
// simulator holds up no other call (SCardCancel, SCardReleaseContext) for its reply's time.
struct Connection {
    SCARDCONTEXT context = 0;
    std::mutex exchanging;
    std::unique_ptr<platform::TcpConnection> link;
    std::unique_ptr<platform::TcpWaiter> waiter;
    std::vector<std::uint8_t> received;
};

std::mutex g_mutex; // the two tables and the last handle given
ULONG_PTR g_last_id = 0;
std::map<SCARDCONTEXT, std::vector<Reader>> g_contexts;
std::map<SCARDHANDLE, std::shared_ptr<Connection>> g_connections;

bool send_all(Connection& connection, std::span<const std::uint8_t> frame,
              std::chrono::steady_clock::time_point deadline) {
    while (!frame.empty()) {
        const auto sent = connection.link->write(frame);
        if (!sent)
            return false;
        frame = frame.subspan(*sent);
        if (!frame.empty() && std::chrono::steady_clock::now() >= deadline)
            return false;
        if (!frame.empty())
            connection.waiter->wait(nullptr, connection.link.get(), true, deadline);
    }
    return true;
}

// One request and its reply; nothing when the simulator is gone, silent or out of step.
std::optional<platform::DeviceIoReply> exchange(Connection& connection,
                                                const platform::DeviceIoRequest& request) {
    const auto deadline = std::chrono::steady_clock::now() + kReplyTime;
    if (!send_all(connection, platform::encode_request(request), deadline))
        return std::nullopt;
    std::uint8_t chunk[1024];
    while (true) {
        bool bad = false;
        if (auto reply = platform::take_reply(connection.received, request.output_capacity, bad))
            return reply;
        if (bad)
            return std::nullopt;
        const auto read = connection.link->read(chunk);
        if (!read)
            return std::nullopt;
        if (*read > 0) {
            connection.received.insert(connection.received.end(), chunk, chunk + *read);
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        connection.waiter->wait(nullptr, connection.link.get(), false, deadline);
    }
}

} // namespace

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                                  LPSCARDCONTEXT context) {
    if (context == nullptr || reserved1 != nullptr || reserved2 != nullptr)
        return SCARD_E_INVALID_PARAMETER;
    if (scope != SCARD_SCOPE_USER && scope != SCARD_SCOPE_SYSTEM)
        return SCARD_E_INVALID_VALUE;
    std::lock_guard lock(g_mutex);
    *context = ++g_last_id;
    g_contexts[*context] = configured_readers();
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
    std::lock_guard lock(g_mutex);
    if (g_contexts.erase(context) == 0)
        return SCARD_E_INVALID_HANDLE;
    std::erase_if(g_connections,
                  [&](const auto& entry) { return entry.second->context == context; });
    return SCARD_S_SUCCESS;
}

// Nothing of this library waits for an event, so there is nothing to cancel.
LONG WINAPI SCardCancel(SCARDCONTEXT context) {
    std::lock_guard lock(g_mutex);
    return g_contexts.contains(context) ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

// All readers, whatever the groups; the list's length alone when `names` is null. Allocation
// by the library (SCARD_AUTOALLOCATE) is not offered.
LONG WINAPI SCardListReadersA(SCARDCONTEXT context, LPCSTR, LPSTR names, LPDWORD length) {
    std::lock_guard lock(g_mutex);
    const auto found = g_contexts.find(context);
    if (found == g_contexts.end())
        return SCARD_E_INVALID_HANDLE;
    if (length == nullptr)
        return SCARD_E_INVALID_PARAMETER;
    if (names != nullptr && *length == SCARD_AUTOALLOCATE)
        return SCARD_E_UNSUPPORTED_FEATURE;
    if (found->second.empty())
        return SCARD_E_NO_READERS_AVAILABLE;
    std::string list;
    for (const Reader& reader : found->second)
        list += reader.name + '\0';
    list += '\0';
    const DWORD given = *length;
    *length = static_cast<DWORD>(list.size());
    if (names == nullptr)
        return SCARD_S_SUCCESS;
    if (given < list.size())
        return SCARD_E_INSUFFICIENT_BUFFER;
    std::memcpy(names, list.data(), list.size());
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardConnectA(SCARDCONTEXT context, LPCSTR reader_name, DWORD share_mode,
                          DWORD protocols, LPSCARDHANDLE card, LPDWORD active_protocol) {
    std::lock_guard lock(g_mutex);
    const auto found = g_contexts.find(context);
    if (found == g_contexts.end())
        return SCARD_E_INVALID_HANDLE;
    if (reader_name == nullptr || card == nullptr || active_protocol == nullptr)
        return SCARD_E_INVALID_PARAMETER;
    const auto& readers = found->second;
    const auto reader = std::find_if(readers.begin(), readers.end(),
                                     [&](const Reader& r) { return r.name == reader_name; });
    if (reader == readers.end())
        return SCARD_E_UNKNOWN_READER;
    if (share_mode != SCARD_SHARE_DIRECT)
        return SCARD_E_NO_SMARTCARD;
    if (protocols != 0)
        return SCARD_E_UNSUPPORTED_FEATURE;
    std::string error;
    auto connection = std::make_shared<Connection>();
    connection->context = context;
    connection->waiter = platform::TcpWaiter::create(error);
    if (connection->waiter)
        connection->link = platform::TcpConnection::connect_local(reader->port, error);
    if (!connection->link)
        return SCARD_E_READER_UNAVAILABLE;
    *card = ++g_last_id;
    *active_protocol = SCARD_PROTOCOL_UNDEFINED;
    g_connections.emplace(*card, std::move(connection));
    return SCARD_S_SUCCESS;
}

LONG WINAPI SCardDisconnect(SCARDHANDLE card, DWORD) {
    std::lock_guard lock(g_mutex);
    return g_connections.erase(card) != 0 ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

LONG WINAPI SCardControl(SCARDHANDLE card, DWORD code, LPCVOID input, DWORD input_length,
                         LPVOID output, DWORD capacity, LPDWORD returned) {
    std::shared_ptr<Connection> held;
    {
        std::lock_guard lock(g_mutex);
        const auto found = g_connections.find(card);
        if (found == g_connections.end())
            return SCARD_E_INVALID_HANDLE;
        held = found->second;
    }
    if (returned == nullptr || (input == nullptr && input_length != 0) ||
        (output == nullptr && capacity != 0) || input_length > platform::kMaxDeviceIoBytes)
        return SCARD_E_INVALID_PARAMETER;
    Connection& connection = *held;
    std::lock_guard lock(connection.exchanging);
    *returned = 0;
    if (!connection.link)
        return SCARD_E_READER_UNAVAILABLE;
    platform::DeviceIoRequest request;
    request.code = code;
    request.output_capacity =
        static_cast<std::uint32_t>(std::min<std::size_t>(capacity, platform::kMaxDeviceIoBytes));
    const auto* bytes = static_cast<const std::uint8_t*>(input);
    request.input.assign(bytes, bytes + input_length);
    const auto reply = exchange(connection, request);
    if (!reply) {
        connection.link.reset(); // a connection that missed its answer is out of step
        return SCARD_F_COMM_ERROR;
    }
    if (reply->status != 0)
        return static_cast<LONG>(reply->status);
    if (!reply->output.empty())
        std::memcpy(output, reply->output.data(), reply->output.size());
    *returned = static_cast<DWORD>(reply->output.size());
    return SCARD_S_SUCCESS;
}

} // extern "C"
