#pragma once
// Appending whole records to a file that several programs may append to at the same time.
#include <string_view>

namespace platform {

// Appends `text` to the file at `path` (created when missing, mode 0600 on POSIX) with one
// write in append mode, so that records appended by several processes at once never mix and
// a reader never sees part of one next to another. False (last error set) on failure.
bool append_record(std::string_view path, std::string_view text);

} // namespace platform
