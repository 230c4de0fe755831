#include "host/config/host_options.h"

namespace morlin {

const OptionKey* find_option_key(std::string_view key) {
    for (const OptionKey& entry : kOptionKeys) {
        if (key == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

bool is_yes(std::string_view value) {
    if (value.size() != 3) {
        return false;
    }
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(value[0]) == 'y' && lower(value[1]) == 'e' && lower(value[2]) == 's';
}

void apply_option(HostOptions& options, std::string_view key, std::string_view value) {
    const OptionKey* entry = find_option_key(key);
    if (entry == nullptr || !entry->host_interprets) {
        return;
    }
    const bool yes = is_yes(value);
    const std::string_view name = entry->name;
    if (name == "GUI") {
        options.silent = !yes;
    } else if (name == "BACKUP") {
        options.backup = yes;
    } else if (name == "DISABLELOG") {
        options.disable_log = yes;
    } else if (name == "REPORTSTATUS") {
        options.report_status = yes;
    } else if (name == "MATCHBYSYMLINK") {
        options.match_by_symlink = yes;
    } else if (name == "MATCHDFUDEVBYPRODTYPE") {
        options.match_dfu_dev_by_prod_type = yes;
    } else if (name == "DISABLEHELP") {
        options.disable_help = yes;
    } else if (name == "SIGFILEONLY") {
        options.sig_file_only = yes;
    }
}

} // namespace morlin
