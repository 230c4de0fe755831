#include "host/dialogs/system_menu.h"

#include "host/host_texts.h"
#include "platform/files/files.h"

namespace morlin {

namespace {
constexpr int kStrHelp = 33;
constexpr int kStrAbout = 13;
} // namespace

std::vector<dialogs::MenuItem> morlin_system_menu(const HostTexts& texts, bool disable_help) {
    std::vector<dialogs::MenuItem> items;
    if (!disable_help) {
        items.push_back({0, {}});
        items.push_back({kMenuHelp, texts.text(kStrHelp)});
    }
    items.push_back({0, {}});
    items.push_back({kMenuAbout, texts.text(kStrAbout)});
    return items;
}

std::string help_target() {
    return platform::join_path(platform::program_directory(), "Morlin.html");
}

} // namespace morlin
