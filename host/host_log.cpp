#include "host/host_log.h"

#include "platform/files/files.h"
#include "platform/files/user_folders.h"
#include "texts-and-log/log_writer.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace morlin {

namespace {

struct LogState {
    std::mutex lock;
    SizeLimitedLogWriter writer;
    std::atomic<bool> disabled{false};
};

LogState& state() {
    static LogState instance;
    return instance;
}

// The message as one line: a line break inside it becomes one blank and one at its end is
// dropped, so that the file holds no bare line break. Only a message that itself ends in
// CR LF keeps that ending (the last line of a session, followed by an empty line).
std::string one_line(std::string_view message) {
    const bool keeps_ending = message.ends_with("\r\n");
    if (keeps_ending) {
        message.remove_suffix(2);
    }
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
        message.remove_suffix(1);
    }
    std::string line;
    line.reserve(message.size() + 2);
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
                ++i;
            }
            line += ' ';
        } else {
            line += c;
        }
    }
    if (keeps_ending) {
        line += "\r\n";
    }
    return line;
}

thread_local std::string g_line_tag;

// The message with the calling thread's tag in front, if it has one.
std::string tagged(std::string_view message) {
    return g_line_tag.empty() ? std::string(message) : g_line_tag + std::string(message);
}

// Caller holds the lock.
[[nodiscard]] bool write_message_locked(LogState& log, std::string_view message) {
    if (message.size() > kLogMessageLimit) {
        message = message.substr(0, kLogMessageLimit);
    }
    return log.writer.write(format_log_line(platform::local_time(), message));
}

} // namespace

std::string log_file_path() {
    const char* configured = std::getenv("MORLIN_LOG_FILE");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    const auto folder = platform::user_state_directory("morlin");
    return folder ? platform::join_path(*folder, "Morlin.log") : std::string();
}

std::string format_log_line(const platform::LocalTime& time, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d ", time.month % 100,
                  time.day % 100, time.year % 100, time.hour % 100, time.minute % 100,
                  time.second % 100);
    std::string line(stamp);
    line.append(one_line(message));
    line.append("\r\n");
    return line;
}

std::string format_log_header(const platform::LocalTime& time) {
    char header[96];
    std::snprintf(header, sizeof header,
                  "Morlin Integrated Firmware Update Utility %02d-%02d-%04d %02d:%02d:%02d",
                  time.month % 100, time.day % 100, time.year % 10000, time.hour % 100,
                  time.minute % 100, time.second % 100);
    return header;
}

void set_log_disabled(bool disabled) {
    state().disabled = disabled;
}

bool open_host_log(std::string_view path, std::string_view version_line) {
    LogState& log = state();
    {
        std::lock_guard guard(log.lock);
        log.writer = SizeLimitedLogWriter();
        if (platform::is_symbolic_link(path)) {
            // Someone may have planted the link to have another file written: never follow it,
            // never replace it.
            std::fprintf(stderr, "Morlin: the log file %.*s is a symbolic link and is not used\n",
                         static_cast<int>(path.size()), path.data());
            return false;
        }
        if (!log.writer.open(path)) {
            return false;
        }
    }
    const std::string header = format_log_header(platform::local_time());
    log_text(header);
    log_text(std::string(header.size(), '-'));
    log_text(version_line);
    return true;
}

void close_host_log() {
    LogState& log = state();
    std::lock_guard guard(log.lock);
    log.writer.close();
}

bool host_log_is_open() {
    LogState& log = state();
    std::lock_guard guard(log.lock);
    return log.writer.is_open();
}

void log_text(std::string_view message) {
    LogState& log = state();
    if (log.disabled) {
        return;
    }
    std::lock_guard guard(log.lock);
    // A line that cannot be written is dropped; the next line tries again.
    (void)write_message_locked(log, tagged(message));
}

void set_log_line_tag(std::string tag) {
    g_line_tag = tag.empty() ? std::string() : "[" + tag + "] ";
}

} // namespace morlin

extern "C" int host_log(const char* format, ...) {
    using namespace morlin;
    LogState& log = state();
    if (log.disabled || format == nullptr) {
        return 0;
    }
    std::lock_guard guard(log.lock);
    if (!log.writer.is_open()) {
        return 0;
    }
    char message[kLogMessageLimit + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    return write_message_locked(log, tagged(message)) ? 1 : 0;
}
