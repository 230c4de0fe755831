#include "shared/log_writer.h"

#include "platform/registry.h"

#include <algorithm>
#include <vector>

namespace morlin {

std::uint64_t read_log_size_limit() {
    if (!platform::registry_key_exists(kLogLimitKey)) {
        return 0;
    }
    const auto kilobytes = platform::registry_read_dword(kLogLimitKey, kLogLimitValue);
    if (!kilobytes) {
        return kLogLimitWhenValueMissing;
    }
    return std::min<std::uint64_t>(std::uint64_t{*kilobytes} * 1024u, kLogLimitCeiling);
}

SizeLimitedLogWriter::SizeLimitedLogWriter(LimitSource limit_source)
    : limit_source_(std::move(limit_source)) {}

bool SizeLimitedLogWriter::open(std::string_view path) {
    path_ = std::string(path);
    return reopen_at_end();
}

void SizeLimitedLogWriter::close() {
    file_.reset();
}

bool SizeLimitedLogWriter::reopen_at_end() {
    platform::OpenOptions options;
    options.access = platform::Access::ReadWrite;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenAlways;
    options.write_through = true;
    file_ = platform::File::open(path_, options);
    if (!file_) {
        return false;
    }
    if (!file_->seek_end()) {
        file_.reset();
        return false;
    }
    return true;
}

bool SizeLimitedLogWriter::write(std::string_view line) {
    if (!file_) {
        return false;
    }
    const auto size = file_->size();
    if (!size) {
        return false;
    }
    if (!limit_) {
        limit_ = limit_source_ ? limit_source_() : 0;
    }
    if (*limit_ != 0 && *size > *limit_ && !trim(*size, *limit_)) {
        return false;
    }
    if (!file_->seek_end()) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    return file_->write({bytes, line.size()});
}

// Keeps the last (limit - limit/10) bytes. The tail goes into a file beside the log, which
// then replaces the log in one step, so a failure leaves the log as it was.
bool SizeLimitedLogWriter::trim(std::uint64_t size, std::uint64_t limit) {
    const std::uint64_t keep = limit - limit / 10;
    std::vector<std::uint8_t> tail;
    try {
        tail.resize(static_cast<std::size_t>(keep));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!file_->seek(size - keep)) {
        return false;
    }
    std::size_t filled = 0;
    while (filled < tail.size()) {
        const auto got = file_->read({tail.data() + filled, tail.size() - filled});
        if (!got || *got == 0) {
            return false;
        }
        filled += *got;
    }
    const std::string trimmed_path = path_ + ".trim";
    platform::OpenOptions options;
    options.access = platform::Access::Write;
    options.share = platform::Share::None;
    options.disposition = platform::Disposition::CreateAlways;
    options.write_through = true;
    auto trimmed = platform::File::open(trimmed_path, options);
    if (!trimmed || !trimmed->write(tail)) {
        trimmed.reset();
        platform::delete_file(trimmed_path);
        return false;
    }
    trimmed.reset();
    file_.reset();
    if (!platform::replace_file(trimmed_path, path_)) {
        platform::delete_file(trimmed_path);
        reopen_at_end();
        return false;
    }
    return reopen_at_end();
}

} // namespace morlin
