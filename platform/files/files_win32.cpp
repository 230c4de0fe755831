// Files and directories through the Windows file API: FindFirstFile/FindNextFile, CreateFile
// with sharing modes, MoveFileEx. Names compare ignoring case natively.
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <algorithm>
#include <cctype>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

namespace platform {
namespace {

using win32::take_system_error;
using win32::windows_path;

bool less_ignoring_case(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    const bool equal = std::equal(a.begin(), a.end(), b.begin(), b.end(),
                                  [&](char x, char y) { return lower(x) == lower(y); });
    if (equal) {
        return a < b;
    }
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return lower(x) < lower(y); });
}

DWORD attributes_of(std::string_view path) {
    return ::GetFileAttributesA(windows_path(path).c_str());
}

class Win32File final : public File {
  public:
    Win32File(HANDLE handle, bool append) : handle_(handle), append_(append) {}
    ~Win32File() override { ::CloseHandle(handle_); }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        DWORD got = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        if (!::ReadFile(handle_, buffer.data(), wanted, &got, nullptr)) {
            take_system_error();
            return std::nullopt;
        }
        return got;
    }
    bool write(std::span<const std::uint8_t> data) override {
        if (append_ && !seek_end()) {
            return false;
        }
        while (!data.empty()) {
            DWORD put = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
            if (!::WriteFile(handle_, data.data(), chunk, &put, nullptr) || put == 0) {
                take_system_error();
                return false;
            }
            data = data.subspan(put);
        }
        return true;
    }
    bool write_at(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        while (!data.empty()) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD put = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
            if (!::WriteFile(handle_, data.data(), chunk, &put, &at) || put == 0) {
                take_system_error();
                return false;
            }
            data = data.subspan(put);
            offset += put;
        }
        return true;
    }
    bool truncate(std::uint64_t new_size) override {
        if (!seek(new_size)) {
            return false;
        }
        if (!::SetEndOfFile(handle_)) {
            take_system_error();
            return false;
        }
        return true;
    }
    std::optional<std::uint64_t> size() override {
        LARGE_INTEGER value{};
        if (!::GetFileSizeEx(handle_, &value)) {
            take_system_error();
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(value.QuadPart);
    }
    bool seek(std::uint64_t offset) override {
        return move(static_cast<LONGLONG>(offset), FILE_BEGIN);
    }
    bool seek_end() override { return move(0, FILE_END); }
    bool flush() override {
        if (!::FlushFileBuffers(handle_)) {
            take_system_error();
            return false;
        }
        return true;
    }

  private:
    bool move(LONGLONG offset, DWORD from) {
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        if (!::SetFilePointerEx(handle_, distance, nullptr, from)) {
            take_system_error();
            return false;
        }
        return true;
    }
    HANDLE handle_;
    bool append_;
};

} // namespace

std::string native_path(std::string_view path) {
    return windows_path(path);
}

std::vector<std::string> find_files(std::string_view directory, std::string_view pattern) {
    std::vector<std::string> names;
    const std::string folder = directory.empty() ? std::string(".") : std::string(directory);
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA(windows_path(join_path(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            wildcard_match(pattern, found.cFileName)) {
            names.emplace_back(found.cFileName);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end(), less_ignoring_case);
    return names;
}

std::optional<std::string> find_file_ignoring_case(std::string_view directory,
                                                   std::string_view name) {
    const std::string path = join_path(directory.empty() ? "." : directory, name);
    if (!file_exists(path)) {
        set_last_error(kErrorFileNotFound);
        return std::nullopt;
    }
    return path;
}

std::string resolve_ignoring_case(std::string_view path) {
    return std::string(path); // the file system ignores case itself
}

bool file_exists(std::string_view path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool directory_exists(std::string_view path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool create_directory(std::string_view path) {
    if (::CreateDirectoryA(windows_path(path).c_str(), nullptr) || directory_exists(path)) {
        return true;
    }
    take_system_error();
    return false;
}

// Only the system and the administrators may use it: a protected list of its own, nothing
// inherited from the folder above (ProgramData lets users add files).
bool create_private_directory(std::string_view path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
        take_system_error();
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryW(win32::wide(windows_path(path)).c_str(), &attributes) ||
                      directory_exists(path);
    if (!made) {
        take_system_error();
    }
    ::LocalFree(descriptor);
    return made;
}

bool delete_file(std::string_view path) {
    if (!::DeleteFileA(windows_path(path).c_str())) {
        take_system_error();
        return false;
    }
    return true;
}

bool is_symbolic_link(std::string_view path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool replace_file(std::string_view source, std::string_view target) {
    if (!::MoveFileExA(windows_path(source).c_str(), windows_path(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        take_system_error();
        return false;
    }
    return true;
}

std::string current_directory() {
    return win32::whole_text(
               [](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); })
        .value_or(".");
}

const char* temp_directory_variable() {
    return "TMP";
}

std::string temp_directory() {
    auto path =
        win32::whole_text([](char* buffer, DWORD size) { return ::GetTempPathA(size, buffer); });
    if (!path) {
        return ".";
    }
    while (path->size() > 3 && path->back() == '\\') {
        path->pop_back();
    }
    return *path;
}

std::string program_path() {
    return win32::whole_text(
               [](char* buffer, DWORD size) { return ::GetModuleFileNameA(nullptr, buffer, size); })
        .value_or(std::string());
}

std::string folder_of(std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string program_directory() {
    const std::string path = program_path();
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::unique_ptr<File> File::open(std::string_view path, const OpenOptions& options) {
    DWORD access = 0;
    if ((static_cast<unsigned>(options.access) & static_cast<unsigned>(Access::Read)) != 0) {
        access |= GENERIC_READ;
    }
    if ((static_cast<unsigned>(options.access) & static_cast<unsigned>(Access::Write)) != 0) {
        access |= GENERIC_WRITE;
    }
    DWORD share = 0;
    if ((static_cast<unsigned>(options.share) & static_cast<unsigned>(Share::Read)) != 0) {
        share |= FILE_SHARE_READ;
    }
    if ((static_cast<unsigned>(options.share) & static_cast<unsigned>(Share::Write)) != 0) {
        share |= FILE_SHARE_WRITE;
    }
    DWORD disposition = OPEN_EXISTING;
    switch (options.disposition) {
    case Disposition::CreateAlways:
        disposition = CREATE_ALWAYS;
        break;
    case Disposition::OpenAlways:
        disposition = OPEN_ALWAYS;
        break;
    case Disposition::CreateNew:
        disposition = CREATE_NEW;
        break;
    case Disposition::OpenExisting:
        break;
    }
    if (options.refuse_symlink && is_symbolic_link(path)) {
        set_last_error(kErrorAccessDenied);
        return nullptr;
    }
    // A file created private gets the default security of the user's folders.
    const DWORD flags =
        FILE_ATTRIBUTE_NORMAL | (options.write_through ? FILE_FLAG_WRITE_THROUGH : 0);
    HANDLE handle = ::CreateFileA(windows_path(path).c_str(), access, share, nullptr, disposition,
                                  flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        take_system_error();
        return nullptr;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) { // a pipe or a device name
        ::CloseHandle(handle);
        set_last_error(kErrorAccessDenied);
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<Win32File>(handle, options.append);
}

} // namespace platform
