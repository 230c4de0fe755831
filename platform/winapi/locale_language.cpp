// POSIX locale names to Windows language IDs (primary language | sublanguage << 10).
#include "platform/winapi/locale.h"

namespace platform {
namespace {

struct Country {
    std::string_view code;
    std::uint16_t sublanguage;
};

struct Language {
    std::string_view code;
    std::uint16_t primary;
    std::initializer_list<Country> countries; // the first is the default sublanguage
};

const Language kLanguages[] = {
    {"de", 0x07, {{"DE", 1}, {"CH", 2}, {"AT", 3}, {"LU", 4}, {"LI", 5}}},
    {"en",
     0x09,
     {{"US", 1}, {"GB", 2}, {"AU", 3}, {"CA", 4}, {"NZ", 5}, {"IE", 6}, {"ZA", 7}, {"IN", 16}}},
    {"fr", 0x0C, {{"FR", 1}, {"BE", 2}, {"CA", 3}, {"CH", 4}, {"LU", 5}}},
    {"it", 0x10, {{"IT", 1}, {"CH", 2}}},
    {"es", 0x0A, {{"ES", 3}, {"MX", 2}}},
    {"nl", 0x13, {{"NL", 1}, {"BE", 2}}},
    {"pt", 0x16, {{"BR", 1}, {"PT", 2}}},
    {"da", 0x06, {{"DK", 1}}},
    {"sv", 0x1D, {{"SE", 1}, {"FI", 2}}},
    {"fi", 0x0B, {{"FI", 1}}},
    {"nb", 0x14, {{"NO", 1}}},
    {"pl", 0x15, {{"PL", 1}}},
    {"cs", 0x05, {{"CZ", 1}}},
    {"hu", 0x0E, {{"HU", 1}}},
    {"ru", 0x19, {{"RU", 1}}},
    {"tr", 0x1F, {{"TR", 1}}},
    {"el", 0x08, {{"GR", 1}}},
    {"ja", 0x11, {{"JP", 1}}},
    {"ko", 0x12, {{"KR", 1}}},
    {"zh", 0x04, {{"TW", 1}, {"CN", 2}}},
};

} // namespace

std::uint16_t language_id_of_locale(std::string_view name) {
    // "ll_CC.charset@modifier": only language and country count.
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") {
        return 0x0409;
    }
    auto underscore = name.find('_');
    std::string_view language = name.substr(0, underscore);
    std::string_view country =
        underscore == std::string_view::npos ? std::string_view() : name.substr(underscore + 1);
    for (const auto& entry : kLanguages) {
        if (entry.code != language) {
            continue;
        }
        std::uint16_t sublanguage = entry.countries.begin()->sublanguage;
        if (!country.empty()) {
            sublanguage = 0;
            for (const auto& known : entry.countries) {
                if (known.code == country) {
                    sublanguage = known.sublanguage;
                }
            }
            if (sublanguage == 0) {
                return 0; // a country this language has no Windows identifier for
            }
        }
        return static_cast<std::uint16_t>(entry.primary | (sublanguage << 10));
    }
    return 0;
}

} // namespace platform
