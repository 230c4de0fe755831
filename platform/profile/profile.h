#pragma once
// Initialisation ("profile") files as GetPrivateProfileString and GetPrivateProfileInt read
// them: "[Section]" lines and "Key=Value" lines; section and key names compare ignoring ASCII
// case; the first section of a name and the first key of a name in it count; values are
// trimmed of surrounding blanks and lose one pair of enclosing quotes; a ';' starts a comment
// only at the start of a line; lines may be of any length; a value is cut to the caller's
// buffer. On Linux the parsing is libinih's and this layer gives it the Windows rules; on
// Windows the system's own profile functions read the file.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Room for a value in the callers' 260-byte buffers, without the terminating zero.
inline constexpr std::size_t kProfileValueLimit = 259;

class Profile {
  public:
    // Reads the file at `path` (name matched ignoring case). Nothing (last error set) when it
    // cannot be read: missing, a folder, unreadable, or larger than 1 MiB.
    static std::optional<Profile> load(std::string_view path);
    // Parses the text of a profile file (for tests and the fuzz target).
    static Profile parse(std::string_view text);

    // The value of `key` in `section`, cut to `limit` bytes (never inside a UTF-8 character);
    // nothing when the section or the key is missing. An empty value is a value.
    std::optional<std::string> string(std::string_view section, std::string_view key,
                                      std::size_t limit = kProfileValueLimit) const;
    // GetPrivateProfileInt: the value's leading decimal number with an optional sign
    // (wrapping like a 32-bit integer; no digits: 0), or `default_value` when the section or
    // the key is missing.
    std::int32_t integer(std::string_view section, std::string_view key,
                         std::int32_t default_value) const;

  private:
#ifdef _WIN32
    // The file's full path, as GetPrivateProfileString wants it; a parsed text lies in a file
    // of the temporary folder that goes with the last copy of the profile.
    std::shared_ptr<const std::string> path_;
#else
    struct Less {
        bool operator()(std::string_view a, std::string_view b) const;
        using is_transparent = void;
    };
    using Section = std::map<std::string, std::string, Less>;
    friend struct ProfileBuilder;

    std::map<std::string, Section, Less> sections_;
#endif
};

} // namespace platform
