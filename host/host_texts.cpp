#include "host/host_texts.h"

#include "texts-and-log/platform_class.h"
#include "texts-and-log/resource_string.h"
#include "texts-and-log/ui_language.h"

namespace morlin {

std::uint16_t resource_language_for(std::uint16_t ui_language) {
    return ui_language == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;
}

int host_platform_class() {
    return shared::platform_class();
}

std::uint16_t host_ui_language() {
    return shared::ui_language();
}

bool HostTexts::load_module(std::string_view name) {
    module_ = platform::Library::load_resources(name);
    return module_ != nullptr;
}

void HostTexts::unload_module() {
    module_.reset();
}

std::string HostTexts::text(int id) const {
    if (!module_ || id < 0) {
        return {};
    }
    return shared::resource_string(*module_, static_cast<unsigned>(id), language_);
}

std::string HostTexts::text_or_number(int id) const {
    std::string result = text(id);
    if (result.empty()) {
        result = "Morlin text " + std::to_string(id);
    }
    return result;
}

} // namespace morlin
