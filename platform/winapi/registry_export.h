#pragma once
// Details of the registry export parser shared by the file-backed registry and its tests.
#include "platform/winapi/registry.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RegistryExport {
    std::vector<std::string> keys; // every section below HKEY_LOCAL_MACHINE, in file order
    std::vector<RegistryValue> values;
};

// Parses export text (UTF-8, an optional byte-order mark) into its keys and values.
RegistryExport parse_registry_export_keys(std::string_view text);

// UTF-16LE bytes as UTF-8 texts, split at zero characters (a trailing odd byte is dropped, an
// unpaired surrogate becomes '?').
std::vector<std::string> utf16le_strings(std::span<const std::uint8_t> bytes);

// A key path without leading and trailing '\'.
std::string normalise_registry_key(std::string_view key);
// Key paths and value names compare ignoring case, like the registry.
bool registry_keys_equal(std::string_view a, std::string_view b);

} // namespace platform
