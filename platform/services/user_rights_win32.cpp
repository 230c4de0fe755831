// Membership of the running token in the Administrators group (CheckTokenMembership).
#include "platform/services/user_rights.h"

#include <windows.h>

namespace platform {

bool user_is_administrator() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member)) {
        member = FALSE;
    }
    ::FreeSid(administrators);
    return member != FALSE;
}

} // namespace platform
