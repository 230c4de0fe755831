#pragma once
// What Valdrun trusts when it runs as root (docs/valdrun.md, "Running as root"): only
// processes of its own user, only program files and folders that no other user could have
// planted or changed. Each refusal is told in the system log with its reason.
#include "platform/files/file_trust.h"
#include "platform/processes/proc_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace valdrun {

// The user Valdrun runs as (its effective user).
std::uint32_t own_user();

// Whether Valdrun, running as `own`, may end and start again a process with these
// credentials: only when the process runs (really and effectively) as that same user, so root
// takes only root's processes and any other user only its own.
bool may_act_on(const platform::ProcessCredentials& process, std::uint32_t own);

// Why the folder or file at `path` is refused by a Valdrun that runs as root (nothing when it
// is trusted, or when Valdrun does not run as root): another non-root user's, writable by
// group or others, or a symbolic link.
std::optional<std::string> why_refused_as_root(const std::string& path);

// Why a file that Valdrun, running as root, writes into is refused (nothing when it is
// trusted, or when Valdrun does not run as root): another user's, or a file with more than one
// name (a hard link would have another file grow).
std::optional<std::string> why_written_file_refused_as_root(const std::string& path);

// One line in the system log, under the name "Valdrun".
void log_line(std::string_view line);

} // namespace valdrun
