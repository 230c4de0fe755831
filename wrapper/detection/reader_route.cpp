// The reader route: the described reader among the smart-card service's readers, by name.
#include "wrapper/detection/detection.h"
#include "wrapper/detection/smart_card.h"
#include "wrapper/result_codes.h"

#include <algorithm>
#include <cctype>

namespace valdrun {
namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Steps 2.2 to 2.5 for a reader under the slot's name: the result it sets, or nothing when
// it could not be connected (it stays counted).
std::optional<int> query_reader(SmartCardContext& context, const std::string& reader, int slot,
                                const ReaderDescription& description, PassOutcome& outcome) {
    const auto connection = context.connect(reader);
    if (!connection)
        return std::nullopt;
    if (slot == 0) {
        const auto descriptor = connection->control(smart_card_control_code(kDescriptorRequestCode),
                                                    kDescriptorRequest, kDescriptorSize);
        const UsbIdentifiers ids =
            descriptor ? identifiers_from_descriptor(*descriptor) : UsbIdentifiers{};
        if (ids.vid == 0 && ids.pid == 0) {
            --outcome.reader_count; // a reader that cannot be queried is no second reader
            return kDetectedNothing;
        }
        if (ids.vid != description.vid || ids.pid != description.pid)
            return kDetectedOtherReader;
    }
    return version_request_result(
        connection->control(smart_card_control_code(kDeviceVersionRequestCode), {},
                            kVersionReplySize),
        description, outcome);
}

} // namespace

int reader_route(const ReaderDescription& description, int slot, const PassSettings& settings,
                 PassOutcome& outcome, StopSignal* stop) {
    outcome.other_reader_name.clear();
    const std::string wanted = upper(description.slot_name[slot]);
    const int other_slot = 1 - slot;
    const std::string other = upper(description.slot_name[other_slot]);
    const auto context = SmartCardContext::establish();
    if (!context)
        return kDetectedNothing;
    const CancelScope cancel(stop, [&context] { context->cancel(); });
    const auto readers = context->list_readers();
    if (!readers)
        return kDetectedNothing;
    int result = kDetectedNothing;
    for (const std::string& reader : *readers) {
        if (stop && stop->stopped())
            break;
        ++outcome.reader_count;
        const std::string name = upper(reader);
        if (!contains(name, wanted)) {
            if (settings.os_type == 2 ||
                (description.slot_described(other_slot) && contains(name, other)))
                --outcome.reader_count;
            else
                outcome.other_reader_name = reader;
            continue;
        }
        if (const auto set = query_reader(*context, reader, slot, description, outcome))
            result = *set;
    }
    return result;
}

} // namespace valdrun
