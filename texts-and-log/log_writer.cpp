#include "texts-and-log/log_writer.h"

#include "platform/winapi/registry.h"

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
    platform::OpenOptions options;
    options.access = platform::Access::ReadWrite;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenAlways;
    options.write_through = true;
    options.append = true;
    options.refuse_symlink = true;
    options.private_file = true;
    file_ = platform::File::open(path, options);
    return file_ != nullptr;
}

void SizeLimitedLogWriter::close() {
    file_.reset();
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
    // Append mode: the line goes to the end whatever the file position.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    return file_->write({bytes, line.size()});
}

// Keeps the last (limit - limit/10) bytes, in place: the tail is read, written at the start
// and the file cut behind it. The log stays the same file (its mode, owner and links), and no
// other name in its folder is written.
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
    return file_->write_at(0, tail) && file_->truncate(keep);
}

} // namespace morlin
