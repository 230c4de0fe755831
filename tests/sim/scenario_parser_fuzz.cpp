// Scenario files come from users: any text must be taken or refused without harm.
#include "sim/scenario.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::Scenario scenario;
    std::string error;
    sim::apply_scenario_text(scenario, std::string_view(reinterpret_cast<const char*>(data), size),
                             error);
    return 0;
}
