#pragma once
// Folders that belong to the user who runs the program, for the files that must not live in a
// shared folder where another user could plant a name first (the log, the single-instance lock).
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The program's state folder: $XDG_STATE_HOME/<application>, else
// ~/.local/state/<application>. Created private (owner only) when missing, with the folders
// above it. Nothing (last error set) when no home is known, the folder cannot be made, or the
// name is taken by something that is not a folder of this user (a symbolic link, say).
[[nodiscard]] std::optional<std::string> user_state_directory(std::string_view application);

// The program's runtime folder: $XDG_RUNTIME_DIR/<application> (created private) when the
// session has a runtime folder, else the state folder.
[[nodiscard]] std::optional<std::string> user_runtime_directory(std::string_view application);

// The machine's runtime folder of a program that runs with the administrator's rights (root):
// /run/<application>; on Windows %ProgramData%\<application>. Only named, not created.
[[nodiscard]] std::string machine_runtime_directory(std::string_view application);

} // namespace platform
