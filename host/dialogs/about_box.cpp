#include "host/dialogs/about_box.h"

#include "host/dialogs/device_choice.h"
#include "host/morlin_app.h"
#include "platform/files/files.h"
#include "platform/winapi/version_info.h"

namespace morlin {

namespace {
constexpr int kStrAboutTitle = 46;
constexpr int kStrOk = 12;
constexpr int kDllInfoCopyright = 1;
constexpr int kDllInfoLink = 2;

// The first plug-in's text of that kind, or nothing when it has none.
std::optional<std::string> first_plugin_info(const MorlinApp& app, int kind) {
    const PluginRecord& first = app.plugins[0];
    if (app.plugin_count == 0 || first.fn.get_dll_info == nullptr) {
        return std::nullopt;
    }
    char text[VUP_TEXT_SIZE] = {};
    if (first.fn.get_dll_info(kind, text) == 0) {
        return std::nullopt;
    }
    return field_text(text, sizeof text);
}
} // namespace

AboutBox::AboutBox(const MorlinApp& app) : Dialog(kTemplateAbout, 250, 150), app_(app) {
    using dialogs::ControlKind;
    add(ControlKind::Static, kIdAboutVersion, {10, 10, 230, 20});
    add(ControlKind::Static, kIdAboutCopyright, {10, 34, 230, 10});
    add(ControlKind::Static, kIdAboutPlugins, {10, 50, 230, 56});
    add(ControlKind::Link, kIdAboutLink, {10, 110, 160, 10});
    add(ControlKind::Button, kIdAboutOk, {180, 128, 60, 15}).default_button = true;
}

void AboutBox::on_initialise() {
    set_title(app_.texts.text(kStrAboutTitle));
    set_text(kIdAboutOk, app_.texts.text(kStrOk));
    set_text(kIdAboutVersion, program_version_line(app_.texts));
    std::optional<std::string> copyright = first_plugin_info(app_, kDllInfoCopyright);
    if (!copyright) {
        const auto info = platform::read_version_info(platform::program_path());
        copyright = info ? info->legal_copyright : std::string();
    }
    set_text(kIdAboutCopyright, *copyright);
    std::string lines;
    for (int p = 0; p < app_.plugin_count && p < kMaxPlugins; ++p) {
        const PluginRecord& plugin = app_.plugins[static_cast<std::size_t>(p)];
        lines += (lines.empty() ? "" : "\n\n") + field_text(plugin.version_line, VUP_TEXT_SIZE);
    }
    set_text(kIdAboutPlugins, lines);
    set_text(kIdAboutLink, first_plugin_info(app_, kDllInfoLink).value_or(kMakerAddress));
}

void AboutBox::clicked(int id) {
    if (id == kIdAboutLink) {
        open_link(text(kIdAboutLink));
    } else if (id == kIdAboutOk) {
        end(dialogs::kEndOk);
    }
}

} // namespace morlin
