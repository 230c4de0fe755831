// What every platform's files share: reading a whole file through File.
#include "platform/files/files.h"

#include "platform/foundation/last_error.h"

namespace platform {

std::optional<std::vector<std::uint8_t>> read_file(std::string_view path, std::uint64_t limit,
                                                   const OpenOptions& options) {
    auto file = File::open(path, options);
    if (!file) {
        return std::nullopt;
    }
    auto size = file->size();
    if (!size) {
        return std::nullopt;
    }
    if (*size > limit) {
        set_last_error(kErrorInsufficientBuffer);
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(*size));
    std::size_t filled = 0;
    while (filled < data.size()) {
        auto got = file->read(std::span(data).subspan(filled));
        if (!got) {
            return std::nullopt;
        }
        if (*got == 0) {
            break; // the file shrank meanwhile
        }
        filled += *got;
    }
    data.resize(filled);
    return data;
}

} // namespace platform
