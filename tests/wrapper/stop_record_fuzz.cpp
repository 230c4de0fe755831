// Fuzz target: a stop record file as the next start reads it. What it parses must come out of
// the writer unchanged, so that a record read back names the same things.
#include "wrapper/housekeeping/stop_record.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto stopped = valdrun::parse_stop_record(text);
    if (stopped) {
        const auto again = valdrun::parse_stop_record(valdrun::stop_record_text(*stopped));
        if (!again || again->dependents.size() != stopped->dependents.size() ||
            again->process_path != stopped->process_path)
            __builtin_trap();
    }
    return 0;
}
