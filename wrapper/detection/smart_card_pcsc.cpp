// The PC/SC side: WinSCard on Windows, answered by the system's smart-card service (SCardSvr);
// on Linux pcsc-lite's client library, which has the same calls, answered by pcscd (its socket
// where PCSCLITE_CSOCK_NAME says; tests point it at a private pcscd).
#include "wrapper/detection/smart_card.h"

#include <algorithm>
#include <winscard.h>

namespace valdrun {

namespace {

class PcscConnection final : public SmartCardConnection {
  public:
    explicit PcscConnection(SCARDHANDLE handle) : handle_(handle) {}
    ~PcscConnection() override { SCardDisconnect(handle_, SCARD_UNPOWER_CARD); }

    std::optional<std::vector<std::uint8_t>> control(std::uint32_t code,
                                                     std::span<const std::uint8_t> input,
                                                     std::size_t capacity) override {
        std::vector<std::uint8_t> reply(capacity);
        DWORD returned = 0;
        const LONG rv = SCardControl(handle_, code, input.empty() ? nullptr : input.data(),
                                     static_cast<DWORD>(input.size()), reply.data(),
                                     static_cast<DWORD>(reply.size()), &returned);
        if (rv != SCARD_S_SUCCESS)
            return std::nullopt;
        reply.resize(std::min<std::size_t>(returned, capacity));
        return reply;
    }

  private:
    SCARDHANDLE handle_;
};

class PcscContext final : public SmartCardContext {
  public:
    explicit PcscContext(SCARDCONTEXT context) : context_(context) {}
    ~PcscContext() override {
        SCardCancel(context_);
        SCardReleaseContext(context_);
    }

    std::optional<std::vector<std::string>> list_readers() override {
        DWORD length = 0;
        if (SCardListReaders(context_, nullptr, nullptr, &length) != SCARD_S_SUCCESS || length == 0)
            return std::nullopt;
        std::vector<char> names(length);
        if (SCardListReaders(context_, nullptr, names.data(), &length) != SCARD_S_SUCCESS)
            return std::nullopt;
        names.resize(std::min<std::size_t>(length, names.size()));
        names.push_back('\0'); // the list ends with an empty name even when cut
        std::vector<std::string> readers;
        for (std::size_t at = 0; at < names.size() && names[at] != '\0';) {
            readers.emplace_back(&names[at]);
            at += readers.back().size() + 1;
        }
        if (readers.empty())
            return std::nullopt;
        return readers;
    }

    std::unique_ptr<SmartCardConnection> connect(const std::string& reader) override {
        SCARDHANDLE handle = 0;
        DWORD protocol = 0;
        if (SCardConnect(context_, reader.c_str(), SCARD_SHARE_DIRECT, 0, &handle, &protocol) ==
                SCARD_S_SUCCESS ||
            SCardConnect(context_, reader.c_str(), SCARD_SHARE_SHARED,
                         SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &handle,
                         &protocol) == SCARD_S_SUCCESS)
            return std::make_unique<PcscConnection>(handle);
        return nullptr;
    }

    void cancel() override { SCardCancel(context_); }

  private:
    SCARDCONTEXT context_;
};

} // namespace

std::unique_ptr<SmartCardContext> SmartCardContext::establish() {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return nullptr;
    return std::make_unique<PcscContext>(context);
}

} // namespace valdrun
