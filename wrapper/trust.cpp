// Who and what Valdrun trusts.
#include "wrapper/trust.h"

#include "platform/foundation/last_error.h"
#include "platform/processes/process.h"
#include "platform/services/system_log.h"

namespace valdrun {
namespace {

constexpr std::uint32_t kRoot = 0;

} // namespace

std::uint32_t own_user() {
    return platform::current_user_id();
}

bool may_act_on(const platform::ProcessCredentials& process, std::uint32_t own) {
    return process.user == own && process.real_user == own;
}

// Nothing when Valdrun does not run as root; else what `judge` finds against the file's facts,
// or that they cannot be read.
template <typename Judge>
std::optional<std::string> judged_as_root(const std::string& path, Judge judge) {
    if (own_user() != kRoot)
        return std::nullopt;
    const auto facts = platform::file_facts(path);
    if (!facts)
        return "it cannot be looked at (" + platform::system_message(platform::last_error()) + ")";
    return judge(*facts);
}

std::optional<std::string> why_refused_as_root(const std::string& path) {
    return judged_as_root(path,
                          [](const auto& facts) { return platform::why_untrusted(facts, kRoot); });
}

std::optional<std::string> why_written_file_refused_as_root(const std::string& path) {
    return judged_as_root(path, [](const auto& facts) -> std::optional<std::string> {
        if (facts.owner != kRoot)
            return "it belongs to user " + std::to_string(facts.owner);
        if (facts.links > 1)
            return "it has more than one name (hard links)";
        return std::nullopt;
    });
}

void log_line(std::string_view line) {
    platform::system_log("Valdrun", line);
}

} // namespace valdrun
