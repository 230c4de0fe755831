#include "shared_services.h"

namespace vupporta {

int current_platform_class() {
    return 2;
}
std::uint16_t current_ui_language() {
    return 0x0409;
}
std::string load_resource_string(const platform::Library&, unsigned, std::uint16_t, std::size_t) {
    return {};
}

} // namespace vupporta
