#include "host/dialogs/cfg_edit_lists.h"

#include "host/host_log.h"
#include "platform/files/files.h"

#include <algorithm>

namespace morlin {

namespace {

constexpr const char* kSource = "CfgEdtDlg";

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// One UTF-8 sequence's length, smallest code and the bits its lead byte carries.
struct Utf8Lead {
    std::size_t length;
    unsigned minimum;
    unsigned bits;
};

std::optional<Utf8Lead> utf8_lead(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) {
        return Utf8Lead{2, 0x80, lead & 0x1Fu};
    }
    if ((lead & 0xF0) == 0xE0) {
        return Utf8Lead{3, 0x800, lead & 0x0Fu};
    }
    if ((lead & 0xF8) == 0xF0) {
        return Utf8Lead{4, 0x10000, lead & 0x07u};
    }
    return std::nullopt;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const std::optional<Utf8Lead> lead = utf8_lead(byte);
        if (!lead || i + lead->length > text.size()) {
            return false;
        }
        unsigned code = lead->bits;
        for (std::size_t k = 1; k < lead->length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = code << 6 | (next & 0x3Fu);
        }
        if (code < lead->minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += lead->length;
    }
    return true;
}

void note_cut_listing(std::size_t listed) {
    host_log("%s(%i) :More than %d firmware files (%d): only %d are listed, the Download "
             "section's files first",
             kSource, 251, static_cast<int>(kMaxListedFirmwareFiles), static_cast<int>(listed),
             static_cast<int>(kMaxListedFirmwareFiles));
}

} // namespace

std::vector<std::string> listed_firmware_files(std::string_view folder) {
    std::vector<std::string> names;
    for (std::string& name : platform::find_files(folder, kFirmwareFilePattern)) {
        if (name.size() >= VUP_TEXT_SIZE || !valid_utf8(name)) {
            host_log("%s(%i) :File name cannot be stored and is not listed: %.200s", kSource, 250,
                     name.c_str());
            continue;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<FileRow> first_listed_rows(const std::vector<std::string>& listed) {
    std::vector<FileRow> rows;
    for (const std::string& name : listed) {
        if (rows.size() == kMaxListedFirmwareFiles) {
            note_cut_listing(listed.size());
            break;
        }
        rows.push_back({name, false});
    }
    return rows;
}

std::vector<FileRow> download_file_rows(const std::vector<std::string>& section_files,
                                        const std::vector<std::string>& listed) {
    struct Entry {
        std::string name;
        bool from_section;
        bool present;
    };
    std::vector<Entry> table;
    bool cut = false;
    for (const std::string& file : section_files) {
        if (table.size() < kMaxListedFirmwareFiles) {
            table.push_back({file, true, false});
        }
    }
    for (const std::string& name : listed) {
        auto same = std::find_if(table.begin(), table.end(), [&](const Entry& entry) {
            return entry.from_section && equal_ignoring_case(entry.name, name);
        });
        if (same != table.end()) {
            same->present = true;
        } else if (table.size() < kMaxListedFirmwareFiles) {
            table.push_back({name, false, false});
        } else {
            cut = true;
        }
    }
    if (cut) {
        note_cut_listing(listed.size());
    }
    std::vector<FileRow> rows;
    for (const Entry& entry : table) {
        if (entry.from_section && entry.present) {
            rows.push_back({entry.name, true});
        }
    }
    for (const Entry& entry : table) {
        if (!entry.from_section) {
            rows.push_back({entry.name, false});
        }
    }
    return rows;
}

std::vector<std::string> offered_option_keys(OptionKind kind,
                                             const std::vector<std::string>& used_keys) {
    std::vector<std::string> keys;
    for (const OptionKey& key : kOptionKeys) {
        if (key.editor_offers && key.kind == kind &&
            std::find(used_keys.begin(), used_keys.end(), key.name) == used_keys.end()) {
            keys.insert(keys.begin(), key.name);
        }
    }
    return keys;
}

bool value_text_allowed(std::string_view text) {
    if (text.empty() || text == "-" || text == "-1") {
        return true;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ConfigContents editor_contents(const std::vector<ConfigOption>& options,
                               const std::vector<FileRow>& files,
                               const std::optional<std::string>& symlink) {
    ConfigContents contents;
    contents.options = options;
    for (const FileRow& row : files) {
        if (row.checked) {
            contents.downloads.push_back(row.name);
        }
    }
    contents.symlink = symlink;
    return contents;
}

} // namespace morlin
