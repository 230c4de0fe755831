#include "wrapper/language.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace valdrun {
namespace {

std::atomic<int> g_language{static_cast<int>(Language::English)};

} // namespace

Language current_language() {
    return static_cast<Language>(g_language.load());
}

void set_language(Language language) {
    g_language.store(static_cast<int>(language));
}

Language toggle_language() {
    const Language next =
        current_language() == Language::English ? Language::German : Language::English;
    set_language(next);
    return next;
}

std::string text(Message role) {
    return std::string(message(role, current_language()));
}

std::string format_text(Message role, ...) {
    const std::string format = text(role);
    va_list arguments;
    va_start(arguments, role);
    va_list copy;
    va_copy(copy, arguments);
    const int needed = std::vsnprintf(nullptr, 0, format.c_str(), copy);
    va_end(copy);
    std::string result;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), arguments);
        result.assign(buffer.data(), static_cast<std::size_t>(needed));
    }
    va_end(arguments);
    return result;
}

} // namespace valdrun
