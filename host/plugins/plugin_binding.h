#pragma once
// Plug-in discovery and binding: the "VUP*.so" files of the current directory (matched
// ignoring case) are loaded by file name and their entry points bound by name.
#include "host/host_error.h"
#include "host/plugins/plugin_record.h"

#include <array>
#include <string_view>
#include <vector>

namespace morlin {

class HostTexts;

// Binds the fifteen entry points of `library` by name: false when one of the eight required
// names is missing (nothing is bound then).
[[nodiscard]] bool bind_plugin_functions(const platform::Library& library,
                                         PluginFunctions& functions);

// The version line "<FileDescription> <string 30> <FileVersion>" from the library file's
// version information; empty when the file carries none.
std::string plugin_version_line(std::string_view library_path, const HostTexts& texts);

struct DiscoveryResult {
    int code = 0;         // 0, 120 (no file found) or 623 (none usable)
    int plugin_count = 0; // plug-ins accepted into the table
};

// Searches `directory` for plug-in files and fills the table (at most four plug-ins; further
// files are ignored). On the Windows 9x family (platform class 0) a plug-in must have
// VUPIsOSSupported and it must not answer 623. Accepted plug-ins then get the host's logger.
[[nodiscard]] DiscoveryResult discover_plugins(std::string_view directory, int platform_class,
                                               const HostTexts& texts,
                                               std::array<PluginRecord, kMaxPlugins>& table);
// Where Morlin looks for plug-ins, in order: the current folder, then the installed
// product's plug-in folder when there is one (not beside a program run from the build).
std::vector<std::string> plugin_folders();
// The same over several folders in order; a file whose name an earlier folder had already
// given is passed over (the current folder's plug-in wins over the installed one).
[[nodiscard]] DiscoveryResult discover_plugins(const std::vector<std::string>& folders,
                                               int platform_class, const HostTexts& texts,
                                               std::array<PluginRecord, kMaxPlugins>& table);

class MorlinApp;
// The first bound plug-in (table order) whose VUPIsBinaryValid accepts the file becomes the
// current plug-in. When none does: the last plug-in's result, marked as from that plug-in.
// `answers`, when given, receives each asked plug-in's answer in table order.
HostError choose_plugin_for_file(MorlinApp& app, const char* file_name,
                                 std::vector<int>* answers = nullptr);

} // namespace morlin
