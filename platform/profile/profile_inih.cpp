// libinih finds the sections and keys; the lines it is given and the values it hands back are
// fitted to the Windows profile rules here:
// - every line is handed over without its leading blanks, so that libinih never reads a line
//   as the continuation of the one before (Windows has no continuation lines);
// - a line longer than libinih's line buffer is handed over cut, and its remainder is never
//   read as a line of its own;
// - key and value are taken from the whole line around its first '=', so neither libinih's
//   line length nor its inline comments (" ;") cut the value, and a ':' (which libinih also
//   takes as a separator) stays part of the key.
#include "platform/files/files.h"
#include "platform/profile/profile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ini.h>

namespace platform {
namespace {

constexpr std::uint64_t kMaxProfileBytes = 1u << 20;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Windows drops one pair of quotes (single or double) that encloses the whole value.
std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Cuts `text` to at most `limit` bytes without leaving half a UTF-8 character at its end.
std::string_view cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    // Step back over continuation bytes to the start of the character that did not fit.
    std::size_t start = end;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 3)
        --start;
    if (start != end && (static_cast<unsigned char>(text[start]) & 0xC0) == 0xC0)
        end = start;
    return text.substr(0, end);
}

// What the line reader and the handler share while libinih parses one text.
struct Feed {
    std::string_view rest;     // text not yet handed over
    std::string_view raw_line; // the line handed over last, whole, without leading blanks
    unsigned section_number = 0;
};

char* next_line(char* buffer, int size, void* stream) {
    auto& feed = *static_cast<Feed*>(stream);
    if (feed.rest.empty() || size < 3)
        return nullptr;
    const std::size_t end = feed.rest.find('\n');
    std::string_view line = feed.rest.substr(0, end);
    feed.rest = end == std::string_view::npos ? std::string_view{} : feed.rest.substr(end + 1);
    line = line.substr(0, line.find('\0')); // a C text ends at its zero
    while (!line.empty() && is_blank(line.front()))
        line.remove_prefix(1);
    feed.raw_line = line;
    if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos)
        ++feed.section_number;
    const std::size_t room = static_cast<std::size_t>(size) - 2;
    const std::size_t count = std::min(line.size(), room);
    std::memcpy(buffer, line.data(), count);
    buffer[count] = '\n';
    buffer[count + 1] = '\0';
    return buffer;
}

bool less_ignoring_case(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

bool Profile::Less::operator()(std::string_view a, std::string_view b) const {
    return less_ignoring_case(a, b);
}

struct ProfileBuilder {
    Profile profile;
    Feed feed;
    // The number of the first section of each name: a later section of the same name is
    // not read, as Windows reads only the first.
    std::map<std::string, unsigned, Profile::Less> first_section;

    static int on_value(void* user, const char* section, const char*, const char*) {
        auto& self = *static_cast<ProfileBuilder*>(user);
        const std::string_view raw = self.feed.raw_line;
        const std::size_t equals = raw.find('=');
        if (equals == std::string_view::npos)
            return 1; // "Key:Value" is no key line for Windows
        const std::string_view name = trim(raw.substr(0, equals));
        const std::string_view section_name = trim(section);
        const auto first = self.first_section.emplace(section_name, self.feed.section_number).first;
        if (first->second != self.feed.section_number)
            return 1;
        self.profile.sections_[std::string(section_name)].emplace(
            std::string(name), unquote(trim(raw.substr(equals + 1))));
        return 1;
    }
};

Profile Profile::parse(std::string_view text) {
    ProfileBuilder builder;
    builder.feed.rest = text;
    if (text.starts_with("\xEF\xBB\xBF"))
        builder.feed.rest.remove_prefix(3);
    ini_parse_stream(&next_line, &builder.feed, &ProfileBuilder::on_value, &builder);
    return std::move(builder.profile);
}

std::optional<Profile> Profile::load(std::string_view path) {
    const auto bytes = read_file(path, kMaxProfileBytes);
    if (!bytes)
        return std::nullopt;
    return parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::optional<std::string> Profile::string(std::string_view section, std::string_view key,
                                           std::size_t limit) const {
    const auto found = sections_.find(section);
    if (found == sections_.end())
        return std::nullopt;
    const auto value = found->second.find(key);
    if (value == found->second.end())
        return std::nullopt;
    return std::string(cut(value->second, limit));
}

std::int32_t Profile::integer(std::string_view section, std::string_view key,
                              std::int32_t default_value) const {
    const auto value = string(section, key);
    if (!value)
        return default_value;
    std::string_view digits = *value;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::uint32_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        number = number * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<std::int32_t>(negative ? 0u - number : number);
}

} // namespace platform
