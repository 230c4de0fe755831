// Profile files read by the system's own GetPrivateProfileString and GetPrivateProfileInt,
// which define the rules the Linux reader copies.
#include "platform/files/files.h"
#include "platform/foundation/win32_text.h"
#include "platform/profile/profile.h"

#include <cstdio>
#include <vector>
#include <windows.h>

namespace platform {
namespace {

constexpr std::uint64_t kMaxProfileBytes = 1u << 20;
// Room for any value a 1 MiB file can hold on one line of the callers' interest; values are
// cut to the caller's limit afterwards, where no UTF-8 character is split.
constexpr DWORD kValueRoom = 32768;
// A value no profile line can give: the default that tells a missing key.
constexpr const char* kMissing = "\n";

std::shared_ptr<const std::string> full_path(std::string_view path) {
    const std::string native = win32::windows_path(path);
    std::vector<char> buffer(MAX_PATH);
    DWORD length =
        GetFullPathNameA(native.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFullPathNameA(native.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                                  nullptr);
    }
    if (length == 0 || length >= buffer.size())
        return std::make_shared<const std::string>(native);
    return std::make_shared<const std::string>(buffer.data(), length);
}

// Leaves no half UTF-8 character at the end of a value cut to `limit` bytes.
std::string cut_whole_characters(std::string value, std::size_t limit) {
    if (value.size() <= limit)
        return value;
    std::size_t end = limit;
    while (end > 0 && end > limit - 3 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    value.resize(end);
    return value;
}

} // namespace

std::optional<Profile> Profile::load(std::string_view path) {
    // The system reads any path it is given; the checks of the Linux reader come first.
    if (!read_file(resolve_ignoring_case(path), kMaxProfileBytes))
        return std::nullopt;
    Profile profile;
    profile.path_ = full_path(path);
    return profile;
}

Profile Profile::parse(std::string_view text) {
    Profile profile;
    char name[MAX_PATH];
    if (GetTempFileNameA(temp_directory().c_str(), "mpf", 0, name) == 0) {
        win32::take_system_error();
        profile.path_ = std::make_shared<const std::string>();
        return profile;
    }
    if (std::FILE* file = std::fopen(name, "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    profile.path_ =
        std::shared_ptr<const std::string>(new std::string(name), [](const std::string* file_name) {
            DeleteFileA(file_name->c_str());
            delete file_name;
        });
    return profile;
}

std::optional<std::string> Profile::string(std::string_view section, std::string_view key,
                                           std::size_t limit) const {
    if (!path_ || path_->empty())
        return std::nullopt;
    const std::string section_name(section);
    const std::string key_name(key);
    std::vector<char> buffer(kValueRoom);
    const DWORD length =
        GetPrivateProfileStringA(section_name.c_str(), key_name.c_str(), kMissing, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), path_->c_str());
    std::string value(buffer.data(), length);
    if (value == kMissing)
        return std::nullopt;
    return cut_whole_characters(std::move(value), limit);
}

std::int32_t Profile::integer(std::string_view section, std::string_view key,
                              std::int32_t default_value) const {
    if (!path_ || path_->empty())
        return default_value;
    const std::string section_name(section);
    const std::string key_name(key);
    return static_cast<std::int32_t>(GetPrivateProfileIntA(section_name.c_str(), key_name.c_str(),
                                                           default_value, path_->c_str()));
}

} // namespace platform
