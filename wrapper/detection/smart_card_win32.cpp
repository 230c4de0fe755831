// The PC/SC side on Windows: WinSCard, answered by the system's smart-card service (SCardSvr).
// A reader's control requests travel with their Windows I/O control codes as they are.
#include "wrapper/detection/smart_card.h"

#include <algorithm>
#include <windows.h>
// After windows.h, which it needs.
#include <winscard.h>

namespace valdrun {

std::uint32_t smart_card_control_code(std::uint32_t device_code) {
    return device_code;
}

namespace {

class WinscardConnection final : public SmartCardConnection {
  public:
    explicit WinscardConnection(SCARDHANDLE handle) : handle_(handle) {}
    ~WinscardConnection() override { ::SCardDisconnect(handle_, SCARD_UNPOWER_CARD); }

    std::optional<std::vector<std::uint8_t>> control(std::uint32_t code,
                                                     std::span<const std::uint8_t> input,
                                                     std::size_t capacity) override {
        std::vector<std::uint8_t> reply(capacity);
        DWORD returned = 0;
        const LONG rv = ::SCardControl(handle_, code, input.empty() ? nullptr : input.data(),
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

class WinscardContext final : public SmartCardContext {
  public:
    explicit WinscardContext(SCARDCONTEXT context) : context_(context) {}
    ~WinscardContext() override {
        ::SCardCancel(context_);
        ::SCardReleaseContext(context_);
    }

    std::optional<std::vector<std::string>> list_readers() override {
        DWORD length = 0;
        if (::SCardListReadersA(context_, nullptr, nullptr, &length) != SCARD_S_SUCCESS ||
            length == 0)
            return std::nullopt;
        std::vector<char> names(length);
        if (::SCardListReadersA(context_, nullptr, names.data(), &length) != SCARD_S_SUCCESS)
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
        if (::SCardConnectA(context_, reader.c_str(), SCARD_SHARE_DIRECT, 0, &handle, &protocol) ==
                SCARD_S_SUCCESS ||
            ::SCardConnectA(context_, reader.c_str(), SCARD_SHARE_SHARED,
                            SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &handle,
                            &protocol) == SCARD_S_SUCCESS)
            return std::make_unique<WinscardConnection>(handle);
        return nullptr;
    }

    void cancel() override { ::SCardCancel(context_); }

  private:
    SCARDCONTEXT context_;
};

} // namespace

std::unique_ptr<SmartCardContext> SmartCardContext::establish() {
    SCARDCONTEXT context = 0;
    if (::SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return nullptr;
    return std::make_unique<WinscardContext>(context);
}

} // namespace valdrun
