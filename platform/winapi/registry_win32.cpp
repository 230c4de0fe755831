// Registry values under HKEY_LOCAL_MACHINE, read from the registry itself.
#include "platform/foundation/last_error.h"
#include "platform/winapi/registry.h"

#include <windows.h>

namespace platform {
namespace {

// The value's type and bytes, or nothing with the last error set.
std::optional<std::pair<DWORD, std::string>> query(std::string_view key, std::string_view name) {
    HKEY handle = nullptr;
    LONG status =
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(key).c_str(), 0, KEY_READ, &handle);
    if (status != ERROR_SUCCESS) {
        set_last_error(static_cast<std::uint32_t>(status));
        return std::nullopt;
    }
    const std::string value_name(name);
    DWORD type = 0;
    DWORD size = 0;
    status = ::RegQueryValueExA(handle, value_name.c_str(), nullptr, &type, nullptr, &size);
    std::string bytes(size, '\0');
    if (status == ERROR_SUCCESS && size > 0) {
        status = ::RegQueryValueExA(handle, value_name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
    }
    ::RegCloseKey(handle);
    if (status != ERROR_SUCCESS) {
        set_last_error(static_cast<std::uint32_t>(status));
        return std::nullopt;
    }
    return std::pair{type, bytes};
}

} // namespace

std::optional<std::uint32_t> registry_read_dword(std::string_view key, std::string_view name) {
    const auto value = query(key, name);
    if (!value || value->first != REG_DWORD || value->second.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) {
        number =
            (number << 8) | static_cast<unsigned char>(value->second[static_cast<std::size_t>(i)]);
    }
    return number;
}

std::optional<std::string> registry_read_string(std::string_view key, std::string_view name) {
    auto value = query(key, name);
    if (!value || (value->first != REG_SZ && value->first != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::string text = std::move(value->second);
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> registry_string_values(std::string_view key) {
    std::vector<std::pair<std::string, std::string>> values;
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(key).c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD name_length = sizeof(name);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegEnumValueA(handle, index, name, &name_length, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            continue;
        }
        std::string data(size, '\0');
        name_length = sizeof(name);
        if (::RegEnumValueA(handle, index, name, &name_length, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
            continue;
        }
        data.resize(size);
        while (!data.empty() && data.back() == '\0') {
            data.pop_back();
        }
        values.emplace_back(std::string(name, name_length), std::move(data));
    }
    ::RegCloseKey(handle);
    return values;
}

bool registry_key_exists(std::string_view key) {
    HKEY handle = nullptr;
    const LONG status =
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(key).c_str(), 0, KEY_READ, &handle);
    if (status != ERROR_SUCCESS) {
        set_last_error(static_cast<std::uint32_t>(status));
        return false;
    }
    ::RegCloseKey(handle);
    return true;
}

} // namespace platform
