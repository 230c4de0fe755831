#pragma once
// The texts of the plug-in: string tables of the resource library MORLNRES, in German or
// English. Loaded with each device listing and released with the list.
#include "texts.h"

#include <cstdint>
#include <memory>
#include <platform/winapi/library.h>

namespace vupporta {

inline constexpr std::uint16_t kGerman = 0x0407;
inline constexpr std::uint16_t kEnglish = 0x0409;

// The resource language for a user's UI language: German only for exactly 0x0407.
inline std::uint16_t resource_language_for(std::uint16_t ui_language) {
    return ui_language == kGerman ? kGerman : kEnglish;
}

class ResourceTexts : public Texts {
  public:
    // Loads the resource library by name (then from the plug-in's own folder); false, with the
    // last error set, when it cannot be loaded.
    [[nodiscard]] bool load();
    void release() { library_.reset(); }
    bool loaded() const { return library_ != nullptr; }

    void set_language(std::uint16_t language) { language_ = language; }
    std::uint16_t language() const { return language_; }

    std::string text(unsigned id, std::size_t buffer_size = kShortTextSize) const override;

  private:
    std::unique_ptr<platform::Library> library_;
    std::uint16_t language_ = kEnglish;
};

} // namespace vupporta
