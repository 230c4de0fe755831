// Reads the version block of a program or library file without loading it.
//
// The block (MORLIN_VERSION_INFO) is a run of zero-terminated texts: the start marker, then
// "Key=Value" entries, then the end marker. An ELF file keeps it in the section
// "morlin_version", which is looked up by name; any other file, or an ELF file whose section
// table is damaged, is scanned for the start marker followed by the first key.
#include "platform/winapi/version_info.h"

#include "platform/foundation/last_error.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform {
namespace {

constexpr std::string_view kSectionName = "morlin_version";
constexpr std::string_view kEndMarker = "END-VERSION-INFO";

// Built at run time, so that the reader's own constants never look like a block to the scan.
const std::string& start_marker() {
    static const std::string marker = std::string("MORLIN-VERSION-INF") + 'O';
    return marker;
}
constexpr std::string_view kFirstKey = "FileDescription=";

using Bytes = std::span<const std::uint8_t>;

std::optional<std::uint64_t> read_le(Bytes bytes, std::uint64_t offset, unsigned width) {
    if (offset > bytes.size() || bytes.size() - offset < width) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        value |= std::uint64_t{bytes[static_cast<std::size_t>(offset) + i]} << (8 * i);
    }
    return value;
}

// The contents of the named section of a little-endian ELF file, 32 or 64 bit.
std::optional<Bytes> elf_section(Bytes file, std::string_view wanted) {
    if (file.size() < 16 ||
        std::memcmp(file.data(),
                    "\x7f"
                    "ELF",
                    4) != 0 ||
        file[5] != 1 /* little endian */) {
        return std::nullopt;
    }
    const bool wide = file[4] == 2;
    if (!wide && file[4] != 1) {
        return std::nullopt;
    }
    const unsigned word = wide ? 8 : 4;
    auto shoff = read_le(file, wide ? 0x28 : 0x20, word);
    auto shentsize = read_le(file, wide ? 0x3A : 0x2E, 2);
    auto shnum = read_le(file, wide ? 0x3C : 0x30, 2);
    auto shstrndx = read_le(file, wide ? 0x3E : 0x32, 2);
    if (!shoff || !shentsize || !shnum || !shstrndx || *shstrndx >= *shnum ||
        *shentsize < (wide ? 64u : 40u)) {
        return std::nullopt;
    }
    // One section header: name offset, then (after type and flags) offset and size.
    auto header = [&](std::uint64_t index) -> std::optional<std::array<std::uint64_t, 3>> {
        std::uint64_t base = *shoff + index * *shentsize;
        auto name = read_le(file, base, 4);
        auto offset = read_le(file, base + (wide ? 0x18 : 0x10), word);
        auto size = read_le(file, base + (wide ? 0x20 : 0x14), word);
        auto type = read_le(file, base + 4, 4);
        if (!name || !offset || !size || !type) {
            return std::nullopt;
        }
        if (*type == 8 /* SHT_NOBITS */) {
            return std::array<std::uint64_t, 3>{*name, 0, 0};
        }
        return std::array<std::uint64_t, 3>{*name, *offset, *size};
    };
    auto in_file = [&](std::uint64_t offset, std::uint64_t size) {
        return offset <= file.size() && size <= file.size() - offset;
    };
    auto names = header(*shstrndx);
    if (!names || !in_file((*names)[1], (*names)[2])) {
        return std::nullopt;
    }
    Bytes strings =
        file.subspan(static_cast<std::size_t>((*names)[1]), static_cast<std::size_t>((*names)[2]));
    for (std::uint64_t i = 0; i < *shnum; ++i) {
        auto section = header(i);
        if (!section || (*section)[0] >= strings.size()) {
            continue;
        }
        auto name_bytes = strings.subspan(static_cast<std::size_t>((*section)[0]));
        auto end = std::find(name_bytes.begin(), name_bytes.end(), std::uint8_t{0});
        std::string_view name(reinterpret_cast<const char*>(name_bytes.data()),
                              static_cast<std::size_t>(end - name_bytes.begin()));
        if (name == wanted && in_file((*section)[1], (*section)[2])) {
            return file.subspan(static_cast<std::size_t>((*section)[1]),
                                static_cast<std::size_t>((*section)[2]));
        }
    }
    return std::nullopt;
}

std::string_view as_text(Bytes bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Where the block begins in bytes that do not come from the section: the start marker, its
// terminator and the first key, in one run.
std::optional<Bytes> scan_for_block(Bytes file) {
    std::string marker(start_marker());
    marker.push_back('\0');
    marker += kFirstKey;
    std::string_view text = as_text(file);
    auto at = text.find(marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return file.subspan(at);
}

std::uint16_t hex16(std::string_view digits, bool& ok) {
    std::uint16_t value = 0;
    for (char c : digits) {
        int nibble = (c >= '0' && c <= '9')   ? c - '0'
                     : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                     : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                              : -1;
        if (nibble < 0) {
            ok = false;
            return 0;
        }
        value = static_cast<std::uint16_t>(value * 16 + nibble);
    }
    return value;
}

// Reads the texts of a block that starts at the beginning of `block`.
std::optional<VersionInfo> parse_block(Bytes block) {
    std::string_view text = as_text(block);
    auto next = [&text]() -> std::optional<std::string_view> {
        auto end = text.find('\0');
        std::string_view item = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            text.remove_prefix(end + 1);
        }
        return item;
    };
    if (next() != start_marker()) {
        return std::nullopt;
    }
    VersionInfo info;
    bool ended = false;
    while (!text.empty()) {
        std::string_view item = *next();
        if (item.substr(0, kEndMarker.size()) == kEndMarker) {
            ended = true;
            break;
        }
        auto equals = item.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt; // not one of our blocks after all
        }
        std::string_view key = item.substr(0, equals);
        std::string value(item.substr(equals + 1));
        if (key == "FileDescription") {
            info.file_description = std::move(value);
        } else if (key == "FileVersion") {
            info.file_version = std::move(value);
        } else if (key == "InternalName") {
            info.internal_name = std::move(value);
        } else if (key == "ProductName") {
            info.product_name = std::move(value);
        } else if (key == "ProductVersion") {
            info.product_version = std::move(value);
        } else if (key == "LegalCopyright") {
            info.legal_copyright = std::move(value);
        } else if (key == "Translation" && value.size() == 8) {
            bool ok = true;
            std::uint16_t language = hex16(std::string_view(value).substr(0, 4), ok);
            std::uint16_t code_page = hex16(std::string_view(value).substr(4, 4), ok);
            if (ok) {
                info.language = language;
                info.code_page = code_page;
            }
        }
    }
    if (!ended) {
        return std::nullopt;
    }
    return info;
}

} // namespace

std::optional<VersionInfo> parse_version_info(std::span<const std::uint8_t> file_bytes) {
    if (auto section = elf_section(file_bytes, kSectionName)) {
        if (auto info = parse_block(*section)) {
            return info;
        }
    }
    if (auto block = scan_for_block(file_bytes)) {
        return parse_block(*block);
    }
    return std::nullopt;
}

} // namespace platform
