// The device installer's answers as the device lists carry them: instance IDs, hardware IDs
// and the device key's values as UTF-8 texts.
#include "platform/devices/device_installer_win32.h"

#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace platform::win32 {
namespace {

// A REG_MULTI_SZ value as its strings (up to the first empty one).
std::vector<std::string> multi_string(const std::wstring& value) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    while (start < value.size() && value[start] != L'\0') {
        std::size_t end = value.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = value.size();
        }
        strings.push_back(utf8(std::wstring_view(value).substr(start, end - start)));
        start = end + 1;
    }
    return strings;
}

std::optional<std::string> text_value(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                           &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(std::min(value.find(L'\0'), static_cast<std::size_t>(size / sizeof(wchar_t))));
    return utf8(value);
}

// `digits` hexadecimal digits of `text` from `at`, all of them (no sign: the numbers are
// unsigned).
template <typename Number>
bool hex_at(std::string_view text, std::size_t at, std::size_t digits, Number& value) {
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + digits, value, 16);
    return error == std::errc{} && end == first + digits;
}

} // namespace

std::string guid_text(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<GUID> guid_from_text(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    GUID guid{};
    unsigned long data1 = 0;
    bool whole = hex_at(text, 1, 8, data1) && hex_at(text, 10, 4, guid.Data2) &&
                 hex_at(text, 15, 4, guid.Data3);
    guid.Data1 = data1;
    for (std::size_t i = 0; i < 8 && whole; ++i) {
        const std::size_t at = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
        whole = hex_at(text, at, 2, guid.Data4[i]);
    }
    if (!whole) {
        return std::nullopt;
    }
    return guid;
}

std::optional<std::wstring> instance_id_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    ::SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &size);
    std::wstring id(size + 1, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, &device, id.data(), static_cast<DWORD>(id.size()),
                                       nullptr)) {
        return std::nullopt;
    }
    id.resize(id.find(L'\0'));
    return id;
}

std::optional<std::vector<std::string>> hardware_ids_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0,
                                             &size) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    // The size asked for and a little more, zero-filled: the list ends in zeros even when
    // the value lacks its closing ones.
    std::wstring ids(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(
            set, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids.data()),
            static_cast<DWORD>((ids.size() - 2) * sizeof(wchar_t)), nullptr)) {
        return std::nullopt;
    }
    return multi_string(ids);
}

std::optional<DeviceKeyValues> device_key_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    DeviceKeyValues values;
    for (const wchar_t* name : {L"PortName", L"SymbolicName", L"ParentDevNode"}) {
        if (auto value = text_value(key, name)) {
            values.insert_or_assign(utf8(name), std::move(*value));
        }
    }
    ::RegCloseKey(key);
    return values;
}

bool remove_device_instance(std::string_view instance_id) {
    HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        set_last_error(::GetLastError());
        return false;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    const bool removed =
        ::SetupDiOpenDeviceInfoW(set, wide(instance_id).c_str(), nullptr, 0, &data) &&
        ::SetupDiCallClassInstaller(DIF_REMOVE, set, &data);
    const DWORD error = removed ? ERROR_SUCCESS : ::GetLastError();
    ::SetupDiDestroyDeviceInfoList(set);
    set_last_error(error);
    return removed;
}

} // namespace platform::win32
