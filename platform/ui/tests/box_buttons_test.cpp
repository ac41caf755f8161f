#include <gtest/gtest.h>

#include "platform/resources/resources.h"
#include "platform/ui/box_buttons.h"
#include "platform/ui/win_user.h"

namespace {

namespace res = platform::res;
using platform::ui::BoxButtonText;

TEST(BoxButtons, FollowTheUserInterfaceLanguageWithEnglishForOthers) {
    struct Case {
        LANGID lang;
        int button;
        const char* text;
    } cases[] = {
        {res::LANGID_EN_US, IDYES, "&Yes"},
        {res::LANGID_DE_DE, IDCANCEL, "Abbrechen"},
        {res::MAKELANGID(res::LANG_GERMAN, 2), IDNO, "&Nein"},  // Swiss German
        {res::LANGID_IT_IT, IDYES, "&Sì"},
        {res::LANGID_ZH_CN, IDOK, "确定"},
        {res::MAKELANGID(res::LANG_CHINESE, res::SUBLANG_CHINESE_SINGAPORE), IDNO, "否(&N)"},
        {res::LANGID_ZH_TW, IDOK, "確定"},
        {res::MAKELANGID(res::LANG_CHINESE, res::SUBLANG_CHINESE_HONGKONG), IDCANCEL, "取消"},
        {0x040C, IDCANCEL, "Cancel"},  // French: no texts of its own
        {res::LANGID_DE_DE, 1234, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(BoxButtonText(c.button, c.lang), c.text) << c.lang << " " << c.button;
}

}  // namespace
