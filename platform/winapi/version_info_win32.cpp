// Version resources through GetFileVersionInfo and VerQueryValue.
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/winapi/version_info.h"

#include <cstdio>
#include <vector>
#include <windows.h>

namespace platform {
namespace {

std::string string_value(std::vector<char>& block, const char* translation, const char* key) {
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%s\\%s", translation, key);
    char* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&text), &length) ||
        text == nullptr) {
        return {};
    }
    std::string value(text, length);
    while (!value.empty() && value.back() == '\0') {
        value.pop_back();
    }
    return value;
}

} // namespace

std::optional<VersionInfo> read_version_info(std::string_view path) {
    const std::string file = win32::windows_path(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !::GetFileVersionInfoA(file.c_str(), 0, size, block.data())) {
        win32::take_system_error();
        return std::nullopt;
    }
    VersionInfo info;
    struct Translation {
        WORD language;
        WORD code_page;
    }* translations = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                         reinterpret_cast<void**>(&translations), &length) &&
        length >= sizeof(Translation)) {
        info.language = translations[0].language;
        info.code_page = translations[0].code_page;
    }
    char translation[16];
    std::snprintf(translation, sizeof translation, "%04X%04X", info.language, info.code_page);
    info.file_description = string_value(block, translation, "FileDescription");
    info.file_version = string_value(block, translation, "FileVersion");
    info.internal_name = string_value(block, translation, "InternalName");
    info.product_name = string_value(block, translation, "ProductName");
    info.product_version = string_value(block, translation, "ProductVersion");
    info.legal_copyright = string_value(block, translation, "LegalCopyright");
    return info;
}

} // namespace platform
