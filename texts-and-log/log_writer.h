#pragma once
// The size-limited log writer: appends lines to a log file and keeps the file below the
// limit that an administrator sets in the registry (LogFileLimitKB). Not thread-safe: the
// caller serialises every use (the host's log function holds one lock around it).
#include "platform/files/files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morlin {

inline constexpr std::uint64_t kLogLimitWhenValueMissing = 200u * 1024u;
inline constexpr std::uint64_t kLogLimitCeiling = 0x1900000u;
inline constexpr const char* kLogLimitKey = "SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf";
inline constexpr const char* kLogLimitValue = "LogFileLimitKB";

// The limit in bytes: 0 (no limit) when the key is missing; 204800 when the key exists but
// the value does not; value x 1024 otherwise, cut to 0x1900000.
[[nodiscard]] std::uint64_t read_log_size_limit();

class SizeLimitedLogWriter {
  public:
    using LimitSource = std::function<std::uint64_t()>;
    explicit SizeLimitedLogWriter(LimitSource limit_source = read_log_size_limit);

    // Opens or creates the file for appending (others may read it), write-through; a new
    // file is readable by its owner only. A path whose last component is a symbolic link is
    // refused, never followed. False (last error set) on failure.
    [[nodiscard]] bool open(std::string_view path);
    void close();
    bool is_open() const { return file_ != nullptr; }

    // Writes one line at the end of the file. Before that, when the file is larger than the
    // limit, only its last (limit - limit/10) bytes are kept. The limit is read once, on the
    // first write. False when the log is not open or trimming or writing fails (the line is
    // then dropped; the next line tries again).
    [[nodiscard]] bool write(std::string_view line);

  private:
    [[nodiscard]] bool trim(std::uint64_t size, std::uint64_t limit);

    LimitSource limit_source_;
    std::optional<std::uint64_t> limit_;
    std::unique_ptr<platform::File> file_;
};

} // namespace morlin
