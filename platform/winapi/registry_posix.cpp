// Registry values read from a file in the registry export format: the stand-in for the
// registry on platforms without one. The file is named by MORLIN_REGISTRY, by default
// /etc/morlin/registry.reg, and read at every query, so edits take effect at once.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/test_hooks.h"
#include "platform/winapi/registry.h"
#include "platform/winapi/registry_export.h"

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

constexpr const char* kDefaultRegistryFile = "/etc/morlin/registry.reg";
constexpr std::uint64_t kRegistryFileLimit = UINT64_C(16) << 20;

std::string registry_file() {
    const char* named = test_hook_variable("MORLIN_REGISTRY");
    return (named != nullptr && *named != '\0') ? named : kDefaultRegistryFile;
}

// regedit writes UTF-16LE with a byte-order mark; anything else is taken as UTF-8.
std::string as_utf8(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return std::string(bytes.begin(), bytes.end());
    }
    return utf16le_strings(std::span(bytes).subspan(2)).front();
}

RegistryExport load() {
    auto bytes = read_file(registry_file(), kRegistryFileLimit);
    if (!bytes) {
        return {};
    }
    return parse_registry_export_keys(as_utf8(*bytes));
}

// The last value of that name under that key (a later line overrides an earlier one).
std::optional<RegistryValue> find_value(std::string_view key, std::string_view name) {
    auto parsed = load();
    std::string wanted = normalise_registry_key(key);
    std::optional<RegistryValue> found;
    for (auto& value : parsed.values) {
        if (registry_keys_equal(value.key, wanted) && registry_keys_equal(value.name, name)) {
            found = std::move(value);
        }
    }
    if (!found) {
        set_last_error(kErrorFileNotFound);
    }
    return found;
}

} // namespace

std::optional<std::uint32_t> registry_read_dword(std::string_view key, std::string_view name) {
    auto value = find_value(key, name);
    if (!value || value->kind != RegistryValue::Kind::Dword) {
        return std::nullopt;
    }
    return value->dword;
}

std::optional<std::string> registry_read_string(std::string_view key, std::string_view name) {
    auto value = find_value(key, name);
    if (!value || value->kind != RegistryValue::Kind::String) {
        return std::nullopt;
    }
    return value->text;
}

std::vector<std::pair<std::string, std::string>> registry_string_values(std::string_view key) {
    const std::string wanted = normalise_registry_key(key);
    std::vector<std::pair<std::string, std::string>> values;
    for (auto& value : load().values) {
        if (value.kind != RegistryValue::Kind::String || !registry_keys_equal(value.key, wanted))
            continue;
        auto same = std::find_if(values.begin(), values.end(), [&](const auto& entry) {
            return registry_keys_equal(entry.first, value.name);
        });
        if (same != values.end())
            same->second = std::move(value.text);
        else
            values.emplace_back(std::move(value.name), std::move(value.text));
    }
    return values;
}

bool registry_key_exists(std::string_view key) {
    std::string wanted = normalise_registry_key(key);
    if (wanted.empty()) {
        return true; // HKEY_LOCAL_MACHINE itself
    }
    for (const auto& present : load().keys) {
        // A key exists when it was written, or when a key below it was (its parent chain).
        if (registry_keys_equal(present, wanted) ||
            (present.size() > wanted.size() && present[wanted.size()] == '\\' &&
             registry_keys_equal(std::string_view(present).substr(0, wanted.size()), wanted))) {
            return true;
        }
    }
    set_last_error(kErrorFileNotFound);
    return false;
}

} // namespace platform
