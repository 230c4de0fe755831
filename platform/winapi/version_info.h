#pragma once
// Version information of program and library files: the stand-in for a Windows version
// resource. A binary carries one block, declared with MORLIN_VERSION_INFO in one of its
// source files; read_version_info reads it from the file without loading it, the way
// GetFileVersionInfo reads a version resource. The block layout is documented in docs/.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct VersionInfo {
    std::string file_description;
    std::string file_version;
    std::string internal_name;
    std::string product_name;
    std::string product_version;
    std::string legal_copyright;
    std::uint16_t language = 0x0409; // translation: language ID
    std::uint16_t code_page = 1252;  // translation: code page
};

// Reads the version block of the file at `path`. Nothing (last error set) when the file
// cannot be read or carries no block.
[[nodiscard]] std::optional<VersionInfo> read_version_info(std::string_view path);

// Finds and reads the version block in the bytes of a whole program or library file (what
// read_version_info does after reading the file; exposed for tests and the fuzz target).
// The bytes are untrusted: every offset is checked.
std::optional<VersionInfo> parse_version_info(std::span<const std::uint8_t> file_bytes);

} // namespace platform

// Embeds a version block in the binary being built. Arguments are string literals:
//   MORLIN_VERSION_INFO("Mobile DFU Interface DLL", "1.02", "VUPPorta", "Morlin", "1.24",
//                       "Copyright ...");
// Use once per binary, at namespace scope.
#ifdef _WIN32
// Windows binaries carry a real VERSIONINFO resource, made from the same arguments at build
// time (cmake/version_resource.cmake); the declaration leaves no data behind.
#define MORLIN_VERSION_INFO(description, file_version, internal_name, product_name,                \
                            product_version, copyright)                                            \
    static_assert(true,                                                                            \
                  description file_version internal_name product_name product_version copyright)
#else
#define MORLIN_VERSION_INFO(description, file_version, internal_name, product_name,                \
                            product_version, copyright)                                            \
    extern "C" __attribute__((used, section("morlin_version"), visibility("hidden")))              \
    const char morlin_version_block[] = "MORLIN-VERSION-INFO\0"                                    \
                                        "FileDescription=" description "\0"                        \
                                        "FileVersion=" file_version "\0"                           \
                                        "InternalName=" internal_name "\0"                         \
                                        "ProductName=" product_name "\0"                           \
                                        "ProductVersion=" product_version "\0"                     \
                                        "LegalCopyright=" copyright "\0"                           \
                                        "Translation=040904E4\0"                                   \
                                        "END-VERSION-INFO"
#endif
