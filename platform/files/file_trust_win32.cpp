// A file's facts on Windows, in the terms the judgement reads: the owner is always the
// administrators' (0), and the mode grants write to others (0777) when ordinary users
// (Users, Authenticated Users, Everyone) may change the file or add files to its folder, so
// that a program there is never run with an installer's rights; otherwise 0755.
#include "platform/files/file_trust.h"
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

namespace platform {
namespace {

constexpr DWORD kFileWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | DELETE;
constexpr DWORD kFolderWrites = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | WRITE_DAC | WRITE_OWNER;

// Whether a well-known group of ordinary users is granted any of `rights` on `path`. A path
// whose rights cannot be read counts as writable.
bool ordinary_users_may(const std::string& path, DWORD rights) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(win32::wide(path).c_str(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor) != ERROR_SUCCESS)
        return true;
    bool may = dacl == nullptr; // no list at all: everyone may do anything
    for (const WELL_KNOWN_SID_TYPE group :
         {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (may || !::CreateWellKnownSid(group, nullptr, sid, &size))
            continue;
        TRUSTEE_W trustee{};
        ::BuildTrusteeWithSidW(&trustee, sid);
        ACCESS_MASK granted = 0;
        may = ::GetEffectiveRightsFromAclW(dacl, &trustee, &granted) != ERROR_SUCCESS ||
              (granted & rights) != 0;
    }
    ::LocalFree(descriptor);
    return may;
}

} // namespace

std::optional<FileFacts> file_facts(const std::string& path) {
    const std::string native = win32::windows_path(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::wide(native).c_str(), GetFileExInfoStandard, &data)) {
        win32::take_system_error();
        return std::nullopt;
    }
    FileFacts facts;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.symbolic_link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.regular = !facts.directory && !facts.symbolic_link;
    const bool writable = facts.directory
                              ? ordinary_users_may(native, kFolderWrites)
                              : ordinary_users_may(native, kFileWrites) ||
                                    ordinary_users_may(folder_of(native), kFolderWrites);
    facts.mode = writable ? 0777 : 0755;
    set_last_error(kErrorSuccess);
    return facts;
}

} // namespace platform
