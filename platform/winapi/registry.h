#pragma once
// Registry values under HKEY_LOCAL_MACHINE. On platforms without a registry they are read from
// a file in the registry export format named by MORLIN_REGISTRY (see docs/).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// key: a path below HKEY_LOCAL_MACHINE such as "SOFTWARE\\Morlin" (separator '\').
// Names compare ignoring case, like the registry.
[[nodiscard]] std::optional<std::uint32_t> registry_read_dword(std::string_view key,
                                                               std::string_view name);
[[nodiscard]] std::optional<std::string> registry_read_string(std::string_view key,
                                                              std::string_view name);
bool registry_key_exists(std::string_view key);
// The string values of a key as RegEnumValue lists them (in the order of the file; a later
// line of the same name replaces the data in place): name and data. Empty when the key has
// none.
std::vector<std::pair<std::string, std::string>> registry_string_values(std::string_view key);

// Parses registry export text into the values the functions above serve (exposed for tests
// and the fuzz target). Malformed lines are skipped.
struct RegistryValue {
    std::string key;  // without the "HKEY_LOCAL_MACHINE\" prefix
    std::string name; // "" for the default value
    enum class Kind { String, Dword, Binary, MultiString } kind = Kind::String;
    std::string text;                 // String
    std::uint32_t dword = 0;          // Dword
    std::vector<std::uint8_t> raw;    // Binary
    std::vector<std::string> strings; // MultiString
};
std::vector<RegistryValue> parse_registry_export(std::string_view text);

} // namespace platform
