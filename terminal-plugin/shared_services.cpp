#include "shared_services.h"

#include <texts-and-log/platform_class.h>
#include <texts-and-log/resource_string.h>
#include <texts-and-log/ui_language.h>

namespace vupporta {

int current_platform_class() {
    return shared::platform_class();
}

std::uint16_t current_ui_language() {
    return shared::ui_language();
}

std::string load_resource_string(const platform::Library& library, unsigned id,
                                 std::uint16_t language, std::size_t buffer_size) {
    return shared::resource_string(library, id, language, buffer_size);
}

} // namespace vupporta
