#pragma once
// The host's options, set from the Options section of Morlin.cfg.
#include <string_view>

namespace morlin {

struct HostOptions {
    bool silent = false;                     // GUI present with a value other than "yes"
    bool backup = true;                      // BACKUP
    bool disable_log = false;                // DISABLELOG
    bool report_status = false;              // REPORTSTATUS
    bool match_by_symlink = false;           // MATCHBYSYMLINK
    bool match_dfu_dev_by_prod_type = false; // MATCHDFUDEVBYPRODTYPE
    bool disable_help = false;               // DISABLEHELP
    bool sig_file_only = false;              // SIGFILEONLY
};

enum class OptionKind { YesNo, Number };

struct OptionKey {
    const char* name;
    OptionKind kind;
    bool host_interprets; // false: only the plug-ins read it
    bool editor_offers;   // offered by the configuration editor's key list
};

// The reader's key table: the fifteen keys in lookup order.
inline constexpr OptionKey kOptionKeys[] = {
    {"GUI", OptionKind::YesNo, true, true},
    {"BACKUP", OptionKind::YesNo, true, true},
    {"DISABLELOG", OptionKind::YesNo, true, true},
    {"REPORTSTATUS", OptionKind::YesNo, true, true},
    {"UPGRADEONLY", OptionKind::YesNo, false, true},
    {"MATCHFEATURE", OptionKind::YesNo, false, true},
    {"MATCHVIDPID", OptionKind::YesNo, false, true},
    {"RECOVERFENNIC", OptionKind::YesNo, false, true},
    {"FORCEFS", OptionKind::YesNo, false, true},
    {"EXCLUSIVEDFU", OptionKind::YesNo, false, true},
    {"RETRIES", OptionKind::Number, false, true},
    {"MATCHBYSYMLINK", OptionKind::YesNo, true, false},
    {"MATCHDFUDEVBYPRODTYPE", OptionKind::YesNo, true, false},
    {"DISABLEHELP", OptionKind::YesNo, true, true},
    {"SIGFILEONLY", OptionKind::YesNo, true, true},
};

// The table entry whose name equals `key` exactly (case-sensitive), or null.
const OptionKey* find_option_key(std::string_view key);

// "yes" in any letter case.
bool is_yes(std::string_view value);

// Applies one option record to the host's options. Keys outside the table, and keys the host
// does not interpret, change nothing.
void apply_option(HostOptions& options, std::string_view key, std::string_view value);

} // namespace morlin
