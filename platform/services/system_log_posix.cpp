// The journal through syslog, or the tests' file.
#include "platform/foundation/test_hooks.h"
#include "platform/services/system_log.h"

#include <fstream>
#include <string>
#include <syslog.h>

namespace platform {

void system_log(std::string_view program, std::string_view line) {
    if (const char* file = test_hook_variable("MORLIN_SYSTEM_LOG"); file != nullptr && *file) {
        std::ofstream(file, std::ios::app) << program << ": " << line << '\n';
        return;
    }
    const std::string identity(program);
    const std::string text(line);
    ::openlog(identity.c_str(), LOG_PID, LOG_USER);
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    ::closelog();
}

} // namespace platform
