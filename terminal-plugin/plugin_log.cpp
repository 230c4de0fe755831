#include "plugin_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace vupporta {
namespace {

std::atomic<VUPLogger> g_logger{nullptr};

} // namespace

void set_logger(VUPLogger logger) {
    g_logger.store(logger);
}

void log_line(const char* format, ...) {
    VUPLogger logger = g_logger.load();
    if (logger == nullptr) {
        return;
    }
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    // The host's logger is printf-style itself: pass the finished text as an argument so
    // that a '%' inside a device or file name is never read as a conversion.
    logger("%s", line);
}

} // namespace vupporta
