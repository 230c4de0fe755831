#include "host/host_texts.h"

#include "platform/locale.h"
#include "platform/os_version.h"

namespace morlin {

namespace {
constexpr std::size_t kTextSize = 260;
} // namespace

std::uint16_t resource_language_for(std::uint16_t ui_language) {
    return ui_language == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;
}

int host_platform_class() {
    const auto version = platform::query_os_version();
    if (!version) {
        return 2;
    }
    switch (version->platform_id) {
    case platform::kPlatformWin32Windows:
        return 0;
    case platform::kPlatformWin32Nt:
        return 1;
    default:
        return 2;
    }
}

std::uint16_t host_ui_language() {
    return platform::user_ui_language();
}

bool HostTexts::load_module(std::string_view name) {
    module_ = platform::Library::load(name);
    return module_ != nullptr;
}

void HostTexts::unload_module() {
    module_.reset();
}

std::string HostTexts::text(int id) const {
    if (!module_ || id < 0) {
        return {};
    }
    std::string result;
    (void)kTextSize;
    return result;
}

std::string HostTexts::text_or_number(int id) const {
    std::string result = text(id);
    if (result.empty()) {
        result = "Morlin text " + std::to_string(id);
    }
    return result;
}

} // namespace morlin
