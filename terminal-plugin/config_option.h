#pragma once
// The plug-in's own reading of an option from the host's configuration file: the file's
// first record must be the "Options" header, whose value counts the option records after it.
#include <string>
#include <string_view>

namespace vupporta {

// The value of option `name` (names compare ignoring case), or empty when the file cannot be
// read, does not begin with the options, or has no such option.
[[nodiscard]] std::string read_config_option(const char* config_path, std::string_view name);

} // namespace vupporta
