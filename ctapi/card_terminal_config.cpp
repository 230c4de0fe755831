#include "card_terminal_config.h"

#include "platform/files/files.h"
#include "profile_int.h"

#include <string>

namespace brantel {

std::uint32_t read_card_terminal_mode(std::string_view library_path) {
    // A name that does not fit the buffer would have been cut, and names no real folder.
    if (library_path.size() + 1 > kModulePathBufferSize) {
        return 0;
    }
    const std::size_t separator = library_path.find_last_of("/\\");
    if (separator == std::string_view::npos) {
        return 0;
    }
    const auto config =
        platform::find_file_ignoring_case(library_path.substr(0, separator), kConfigFileName);
    if (!config) {
        return 0;
    }
    return static_cast<std::uint32_t>(
        read_profile_int(*config, kConfigSection, kCardTerminalModeKey, 0));
}

} // namespace brantel
