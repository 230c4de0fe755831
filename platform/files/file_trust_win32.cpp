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

// The rights that the access-allowed entries of `dacl` give to `group` (deny entries are not
// subtracted: a right that some entry allows counts), generic rights mapped to a file's.
DWORD allowed_to(PACL dacl, WELL_KNOWN_SID_TYPE group) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!::CreateWellKnownSid(group, nullptr, sid, &size))
        return 0;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    DWORD rights = 0;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry))
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !::EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid))
            continue;
        DWORD mask = allowed->Mask;
        ::MapGenericMask(&mask, &mapping);
        rights |= mask;
    }
    return rights;
}

// Whether a well-known group of ordinary users is allowed any of `rights` on `path`. A path
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
        may = may || (allowed_to(dacl, group) & rights) != 0;
    }
    ::LocalFree(descriptor);
    return may;
}

} // namespace

std::optional<FileFacts> file_facts(const std::string& path) {
    std::string native = win32::windows_path(path);
    while (native.size() > 3 && native.back() == '\\')
        native.pop_back(); // a folder named with its separator at the end
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
