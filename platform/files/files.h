#pragma once
// Files and directories with the Windows semantics the subsystems rely on.
// Paths may use '\' or '/' as separators; both are accepted everywhere.
// Names that the program fixes ("MORLIN.CFG", "Morlin.cfg") are looked up ignoring case.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Turns a path written with '\' separators into the native form.
std::string native_path(std::string_view path);

// Windows wildcard match ('*' any run, '?' any one character), ignoring ASCII case.
bool wildcard_match(std::string_view pattern, std::string_view name);

// Names (not paths) of the regular files in `directory` whose name matches `pattern`, in the
// order FindFirstFile/FindNextFile gives them on NTFS: by name, ignoring ASCII case (names
// equal but for case in byte order). Missing directory: empty list.
std::vector<std::string> find_files(std::string_view directory, std::string_view pattern);

// The existing file in `directory` whose name equals `name` ignoring case; an exact match wins.
// Returns its full path, or nothing (last error kErrorFileNotFound).
std::optional<std::string> find_file_ignoring_case(std::string_view directory,
                                                   std::string_view name);
// Resolves a path whose last component may differ in letter case from the file on disk.
// Returns the path of the existing file, or the path unchanged when nothing matches.
std::string resolve_ignoring_case(std::string_view path);

[[nodiscard]] bool file_exists(std::string_view path);
[[nodiscard]] bool directory_exists(std::string_view path);
// True when the last component of `path` is a symbolic link (which is not followed).
[[nodiscard]] bool is_symbolic_link(std::string_view path);
// True also when it already exists. A failure shows at the next open of a file in it.
bool create_directory(std::string_view path);
// The same for a folder only its owner may use (mode 0700; on Windows the system and the
// administrators alone). A folder already there keeps its rights.
bool create_private_directory(std::string_view path);
bool delete_file(std::string_view path); // callers that clean up may ignore the result
// Replaces `target` by `source` in one step (rename); the old file stays whole on failure.
[[nodiscard]] bool replace_file(std::string_view source, std::string_view target);
// How a save reached the file: replaced by a whole new file, or written into the old one.
enum class SaveWay { Replaced, InPlace };
// Saves `data` as the file `path` names (an existing file found ignoring case, as File::open
// finds it; a symbolic link stands for the file it names, which is saved and the link kept)
// in one step: the bytes go to a temporary file of a unique name beside it, which replaces the
// file by rename. Saves of one folder are serialised by an exclusive lock, so two saves at
// once never mix; the file keeps its mode, owner and group; the folder is synced after the
// rename. A save that fails leaves the old file whole. Where no temporary file can be made
// beside it (or it would not keep the owner) but the file itself is writable, the bytes are
// written into the file in place, and `*way` (when given) says so. False (last error set) on
// failure.
[[nodiscard]] bool save_file_replacing(std::string_view path, std::span<const std::uint8_t> data,
                                       SaveWay* way = nullptr);

std::string current_directory();
std::string temp_directory();          // GetTempPath: TMPDIR or /tmp, without trailing separator
const char* temp_directory_variable(); // the variable that names it: TMPDIR (TMP on Windows)
std::string program_path();            // full path of the running program
std::string program_directory();       // folder of the running program
std::string join_path(std::string_view directory, std::string_view name);
// The folder of `path`, up to its last separator ('/'; on Windows '\' or '/'); empty when it
// has none.
std::string folder_of(std::string_view path);

enum class Access : std::uint8_t { Read = 1, Write = 2, ReadWrite = 3 };
enum class Share : std::uint8_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };
enum class Disposition : std::uint8_t {
    OpenExisting, // fail when missing
    CreateAlways, // create or truncate
    OpenAlways,   // open or create
    CreateNew,    // fail when it exists
};

struct OpenOptions {
    Access access = Access::Read;
    Share share = Share::Read;
    Disposition disposition = Disposition::OpenExisting;
    bool write_through = false;  // every write reaches the disk before it returns
    bool append = false;         // write() always adds at the end (write_at still places bytes)
    bool refuse_symlink = false; // a last component that is a symbolic link is not followed
    bool private_file = false;   // a file created is readable and writable by its owner only
    bool exact_name = false;     // no file of the name in other letter case stands in for it
};

// An open file. Only regular files open: a folder, a pipe or a device name is refused at once
// (kErrorAccessDenied), never waited on. Failures return false/nothing and set the last error.
class File {
  public:
    [[nodiscard]] static std::unique_ptr<File> open(std::string_view path,
                                                    const OpenOptions& options);
    virtual ~File() = default;

    // Reads up to buffer.size() bytes; returns the count read (0 at end), or nothing on error.
    [[nodiscard]] virtual std::optional<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
    // All bytes or failure.
    [[nodiscard]] virtual bool write(std::span<const std::uint8_t> data) = 0;
    // All bytes at `offset`, also in append mode; the file position is not used.
    [[nodiscard]] virtual bool write_at(std::uint64_t offset,
                                        std::span<const std::uint8_t> data) = 0;
    // Cuts (or extends) the file to `size` bytes.
    [[nodiscard]] virtual bool truncate(std::uint64_t size) = 0;
    [[nodiscard]] virtual std::optional<std::uint64_t> size() = 0;
    [[nodiscard]] virtual bool seek(std::uint64_t offset) = 0;
    [[nodiscard]] virtual bool seek_end() = 0;
    [[nodiscard]] virtual bool flush() = 0;
};

// Reads a whole file, opened as File::open opens it (a pipe or a device is refused at once),
// refusing files larger than `limit` bytes (last error kErrorInsufficientBuffer).
[[nodiscard]] std::optional<std::vector<std::uint8_t>>
read_file(std::string_view path, std::uint64_t limit = UINT64_C(1) << 32,
          const OpenOptions& options = {});

} // namespace platform
