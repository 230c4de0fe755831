#pragma once
// The host's log file. One log function with a printf-style format serves the host and, by
// pointer, every plug-in; each call becomes one line "MM/DD/YY HH:MM:SS message\r\n".
// The whole function (format, trim, write) runs under one lock, so lines from several
// threads never mix.
#include "platform/winapi/locale.h"

#include <string>
#include <string_view>

extern "C" {
// The logger handed to plug-ins (VUPInitializeLogger). Does nothing when the log is disabled
// or not open. Messages longer than 260 characters are cut.
int host_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
}

namespace morlin {

inline constexpr std::size_t kLogMessageLimit = 260;

// Where the log lives: the file named by MORLIN_LOG_FILE, else Morlin.log in the user's state
// folder ($XDG_STATE_HOME/morlin, else ~/.local/state/morlin; created private when missing).
// Empty when there is no such folder.
std::string log_file_path();

// "MM/DD/YY HH:MM:SS message\r\n".
std::string format_log_line(const platform::LocalTime& time, std::string_view message);
// "Morlin Integrated Firmware Update Utility MM-DD-YYYY HH:MM:SS" (61 characters).
std::string format_log_header(const platform::LocalTime& time);

// DISABLELOG: while set, host_log returns at once.
void set_log_disabled(bool disabled);

// Opens the log at `path` and writes the three header lines, the last being `version_line`.
// False when the file cannot be opened (the caller reports it; later lines are dropped). A
// path that is a symbolic link is refused, with one line on standard error.
[[nodiscard]] bool open_host_log(std::string_view path, std::string_view version_line);
void close_host_log();
bool host_log_is_open();

// Logs an already formatted message (no further formatting), cut like host_log.
void log_text(std::string_view message);

// The calling thread's lines (host and plug-in alike) start with "[tag] " until the tag is
// set empty again: a lane of a parallel run names its device so.
void set_log_line_tag(std::string tag);

} // namespace morlin
