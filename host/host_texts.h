#pragma once
// The host's texts: the resource library MORLNRES.so, the resource language, and strings
// loaded from it by number.
#include "platform/winapi/library.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace morlin {

// String numbers with a fixed role in the host.
enum HostStringId : int {
    kStrCaption = 14,          // title of every message box of the host
    kStrMainWindowTitle = 15,  // title of the main window
    kStrVersionJoin = 30,      // word between description and version in version lines
    kStrWaitText = 43,         // text of the wait window
    kStrNoDeviceForFile = 100, // "%s": the file name
    kStrSeveralDfuDevices = 101,
    kStrNoDevices = 102,
    kStrLogOpenFailed = 104,
    kStrSilentRunSucceeded = 105,
    kStrSilentRunFailed = 106,
    kStrConfigCheckFailed = 110,
    kStrConfigOpenFailed = 119,
    kStrNoPluginFile = 120,
    kStrNoUsablePlugin = 623,
};

inline constexpr std::uint16_t kLanguageGerman = 0x0407;
inline constexpr std::uint16_t kLanguageEnglish = 0x0409;

// Only exactly 0x0407 selects German; every other identifier gives English.
std::uint16_t resource_language_for(std::uint16_t ui_language);

// 0 Windows 9x family, 1 NT family, 2 other or unknown.
int host_platform_class();
// The user's UI language identifier, 0 when unknown.
std::uint16_t host_ui_language();

class HostTexts {
  public:
    // Loads MORLNRES.so through the library search. False (last error set) on failure.
    [[nodiscard]] bool load_module(std::string_view name = "MORLNRES" MORLIN_LIBRARY_SUFFIX);
    void unload_module();
    bool module_loaded() const { return module_ != nullptr; }

    void set_language(std::uint16_t language) { language_ = language; }
    std::uint16_t language() const { return language_; }

    // The string of that number in the resource language, cut to 259 bytes; empty when the
    // module or the string does not exist.
    std::string text(int id) const;
    // As text(), but a missing string gives "Morlin text <id>" so that a box is never blank.
    std::string text_or_number(int id) const;

  private:
    std::unique_ptr<platform::Library> module_;
    std::uint16_t language_ = kLanguageEnglish;
};

} // namespace morlin
