#include <gtest/gtest.h>

#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/resources/resources.h"

namespace {

using platform::res::LanguageFromLocale;

struct LocaleCase {
    const char* locale;
    LANGID lang;
};

TEST(LanguageFromLocale, MapsLocaleNamesToLanguageIds) {
    const LocaleCase CASES[] = {
        {"de_DE.UTF-8", 1031}, {"de_DE@euro", 1031},
        {"de_AT", 3079},       {"de_CH.UTF-8", 2055},
        {"de", 1031},          {"de_BE", 1031},  // region without an id of its own: the language's default region
        {"it_IT", 1040},       {"it_CH", 2064},
        {"it", 1040},          {"zh_CN.GB18030", 2052},
        {"zh_TW.UTF-8", 1028}, {"zh_HK", 3076},
        {"zh_SG", 4100},       {"zh", 2052},
        {"en_US.UTF-8", 1033}, {"en_GB", 2057},
        {"en", 1033},          {"zh-tw", 1028},  // a '-' separator and lower-case region are taken too
        {"C", 1033},           {"C.UTF-8", 1033},
        {"POSIX", 1033},       {"", 1033},
        {"fr_FR.UTF-8", 1033}, {"ja_JP", 1033},
        {"_DE", 1033},         {"..@", 1033},
    };
    for (const LocaleCase& c : CASES) EXPECT_EQ(LanguageFromLocale(c.locale), c.lang) << c.locale;
    EXPECT_EQ(LanguageFromLocale(nullptr), 1033);
}

// Sets the locale variables for one test and puts the old values back afterwards.
class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            const char* v = getenv(VARS[i]);
            m_saved[i] = v ? std::optional<std::string>(v) : std::nullopt;
        }
    }
    void TearDown() override {
        platform::res::SetUserUILanguage(0);
        for (int i = 0; i < 3; ++i) Set(VARS[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
    }
    static void Set(const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

    static constexpr const char* VARS[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> m_saved[3];
};

struct EnvCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    LANGID expected;
};

TEST_F(LocaleEnvironment, FirstNonEmptyVariableDecides) {
    const EnvCase CASES[] = {
        {"it_IT", "de_DE", "zh_CN", 1040},
        {"", "de_DE", "zh_CN", 1031},
        {nullptr, nullptr, "zh_TW", 1028},
        {"", "", "", 1033},
        {nullptr, nullptr, nullptr, 1033},
        {"fr_FR", "de_DE", nullptr, 1033},  // a set but unknown language is not skipped
    };
    for (const EnvCase& c : CASES) {
        Set("LC_ALL", c.lcAll);
        Set("LC_MESSAGES", c.lcMessages);
        Set("LANG", c.lang);
        EXPECT_EQ(platform::res::UserUILanguage(), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

TEST_F(LocaleEnvironment, OverrideWinsUntilCleared) {
    Set("LC_ALL", "de_DE.UTF-8");
    platform::res::SetUserUILanguage(2052);
    EXPECT_EQ(platform::res::UserUILanguage(), 2052);
    platform::res::SetUserUILanguage(0);
    EXPECT_EQ(platform::res::UserUILanguage(), 1031);
}

}  // namespace
