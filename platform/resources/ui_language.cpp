// The user-interface language from the process locale, with an override.
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/resources/resources.h"

namespace platform::res {
namespace {

std::atomic<LANGID> g_overrideLanguage{0};

struct Region {
    const char* code;  // upper case, as locale names write it
    WORD sub;
};

struct Language {
    const char* code;
    WORD primary;
    WORD defaultSub;  // for a name without region or with one not listed
    Region regions[8];
};

// Only the languages the program has variants of, or shares a primary language with.
const Language LANGUAGES[] = {
    {"zh",
     LANG_CHINESE,
     SUBLANG_CHINESE_SIMPLIFIED,
     {{"TW", SUBLANG_CHINESE_TRADITIONAL},
      {"CN", SUBLANG_CHINESE_SIMPLIFIED},
      {"HK", SUBLANG_CHINESE_HONGKONG},
      {"SG", SUBLANG_CHINESE_SINGAPORE},
      {"MO", SUBLANG_CHINESE_MACAU}}},
    {"de", LANG_GERMAN, SUBLANG_DEFAULT, {{"DE", 1}, {"CH", 2}, {"AT", 3}, {"LU", 4}, {"LI", 5}}},
    {"it", LANG_ITALIAN, SUBLANG_DEFAULT, {{"IT", 1}, {"CH", 2}}},
    {"en",
     LANG_ENGLISH,
     SUBLANG_DEFAULT,
     {{"US", 1}, {"GB", 2}, {"AU", 3}, {"CA", 4}, {"NZ", 5}, {"IE", 6}, {"ZA", 7}, {"IN", 16}}},
};

}  // namespace

LANGID LanguageFromLocale(const char* locale) {
    if (!locale) return LANGID_EN_US;
    // language[_REGION][.charset][@modifier]; a '-' between language and region is taken too.
    std::string name(locale, std::strcspn(locale, ".@"));
    size_t sep = name.find_first_of("_-");
    std::string language = name.substr(0, sep);
    std::string region = sep == std::string::npos ? "" : name.substr(sep + 1);
    for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Language& l : LANGUAGES) {
        if (language != l.code) continue;
        WORD sub = l.defaultSub;
        for (const Region& r : l.regions)
            if (r.code && region == r.code) sub = r.sub;
        return MAKELANGID(l.primary, sub);
    }
    return LANGID_EN_US;
}

LANGID UserUILanguage() {
    LANGID forced = g_overrideLanguage.load();
    if (forced != 0) return forced;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) return LanguageFromLocale(value);
    }
    return LANGID_EN_US;
}

void SetUserUILanguage(LANGID lang) { g_overrideLanguage.store(lang); }

}  // namespace platform::res
