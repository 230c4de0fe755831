#include "ctapi_library.h"

#include "card_terminal_config.h"
#include "platform/winapi/library.h"
#include "port_search.h"

#include <array>
#include <span>

namespace brantel {
namespace {

constexpr std::array<std::uint8_t, 5> kResetCt = {0x20, 0x11, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 2> kOpenResetAnswer = {0x95, 0x00};

// Any address inside this module tells which file it was loaded from.
void module_anchor() {}

std::optional<std::string> own_module_path() {
    return platform::module_path_of(reinterpret_cast<const void*>(&module_anchor));
}

} // namespace

std::int8_t CtApiLibrary::init(std::uint16_t ctn, std::uint16_t pn) {
    const std::string candidate = com_port_path(pn);
    link_.set_os_family(query_os_family());

    const auto own_path = own_module_path();
    if (!own_path) {
        return kErrInvalid;
    }
    card_terminal_mode_ = read_card_terminal_mode(*own_path);

    const std::int32_t current = current_terminal_.load();
    if (current != kNoTerminal) {
        return current == ctn ? kErrInvalid : kErrCt;
    }

    // No terminal is open: a loss noticed during an earlier, failed open is of no concern.
    link_.forget_loss();
    OpenResult opened = OpenResult::Failure;
    if (pn == 0) {
        opened = link_.search_and_open();
    } else {
        link_.set_saved_path(candidate);
        if (!link_.saved_port_present()) {
            return kErrInvalid;
        }
        opened = link_.open(candidate);
    }
    if (opened == OpenResult::Busy) {
        return kErrCt;
    }
    if (opened != OpenResult::Success) {
        return kErrInvalid;
    }

    protocol_.reset();
    if (!open_reset()) {
        link_.close();
        current_terminal_.store(kNoTerminal);
        return kErrInvalid;
    }
    current_terminal_.store(ctn);

    if (!monitor_.started() && !monitor_.start()) {
        // A caller that got an error does not call CT_close: leave nothing open behind.
        link_.close();
        current_terminal_.store(kNoTerminal);
        return kErrInvalid;
    }
    return kOk;
}

bool CtApiLibrary::open_reset() {
    ExchangeAddresses addresses{kTerminalAddress, kOpenResetSource};
    std::array<std::uint8_t, 2> answer{};
    std::uint16_t length = answer.size();
    const auto result =
        protocol_.exchange(addresses, kResetCt, answer, length, card_terminal_mode_ != 0);
    return result == ExchangeResult::Success && length == kOpenResetAnswer.size() &&
           answer == kOpenResetAnswer;
}

std::int8_t CtApiLibrary::data(std::uint16_t ctn, std::uint8_t* dad, std::uint8_t* sad,
                               std::uint16_t lenc, const std::uint8_t* command, std::uint16_t* lenr,
                               std::uint8_t* response) {
    if (!is_current(ctn)) {
        return kErrInvalid;
    }

    if (lenc == 5 && command != nullptr) {
        // What the purge reports is not looked at: a closed port fails the exchange below.
        static_cast<void>(link_.purge());
        const std::span<const std::uint8_t> five(command, 5);
        if (is_reset_ct(five) && link_.link_lost() && !link_.reconnect()) {
            return kErrTrans;
        }
    }

    if (dad == nullptr || sad == nullptr || command == nullptr || lenr == nullptr ||
        response == nullptr || lenc < 4 || *lenr < 2) {
        return kErrInvalid;
    }
    if (lenc > kMaxCommandLength) {
        return kErrMemory;
    }
    if ((*sad != kHostAddress && *sad != kRemoteHostAddress) || *dad > kLastSlotAddress) {
        *dad = kHostAddress;
        *sad = kTerminalAddress;
        return kErrInvalid;
    }
    if (!link_.is_open()) {
        return kErrTrans;
    }

    ExchangeAddresses addresses{*dad, *sad};
    std::uint16_t length = *lenr;
    const std::uint8_t destination = *dad;
    const auto result =
        protocol_.exchange(addresses, std::span(command, lenc), std::span(response, *lenr), length,
                           card_terminal_mode_ != 0);
    switch (result) {
    case ExchangeResult::Success:
        *dad = addresses.destination;
        *sad = addresses.source;
        *lenr = length;
        return kOk;
    case ExchangeResult::TooLong:
        return kErrMemory;
    case ExchangeResult::Failure:
        break;
    }
    return destination <= kTerminalAddress ? kErrTrans : kErrInvalid;
}

std::int8_t CtApiLibrary::close(std::uint16_t ctn) {
    if (!is_current(ctn)) {
        return kErrInvalid;
    }
    // The terminal's answer to the close reset does not matter.
    ExchangeAddresses addresses{kTerminalAddress, kCloseResetSource};
    std::array<std::uint8_t, 2> answer{};
    std::uint16_t length = answer.size();
    static_cast<void>(
        protocol_.exchange(addresses, kResetCt, answer, length, card_terminal_mode_ != 0));

    link_.close();
    current_terminal_.store(kNoTerminal);
    monitor_.stop();
    return kOk;
}

void CtApiLibrary::unload() {
    monitor_.stop();
    link_.close();
    current_terminal_.store(kNoTerminal);
}

} // namespace brantel
