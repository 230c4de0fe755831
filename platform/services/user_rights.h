#pragma once
// Whether the running user holds administrator rights (on Windows: membership of the
// built-in Administrators group, S-1-5-32-544, through an access check with the thread's or
// the process's token). On Linux: the effective user is root. MORLIN_ADMINISTRATOR=yes or
// =no replaces the answer (tests).
namespace platform {

bool user_is_administrator();

} // namespace platform
