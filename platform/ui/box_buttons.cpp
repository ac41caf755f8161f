#include "platform/ui/box_buttons.h"

#include "platform/resources/resources.h"
#include "platform/ui/win_user.h"

namespace platform::ui {
namespace {

struct ButtonTexts {
    const char* ok;
    const char* cancel;
    const char* yes;
    const char* no;
};

constexpr ButtonTexts ENGLISH{"OK", "Cancel", "&Yes", "&No"};
constexpr ButtonTexts GERMAN{"OK", "Abbrechen", "&Ja", "&Nein"};
constexpr ButtonTexts ITALIAN{"OK", "Annulla", "&Sì", "&No"};
constexpr ButtonTexts CHINESE_SIMPLIFIED{"确定", "取消", "是(&Y)", "否(&N)"};
constexpr ButtonTexts CHINESE_TRADITIONAL{"確定", "取消", "是(&Y)", "否(&N)"};

const ButtonTexts& TextsFor(LANGID lang) {
    switch (res::PRIMARYLANGID(lang)) {
    case res::LANG_GERMAN: return GERMAN;
    case res::LANG_ITALIAN: return ITALIAN;
    case res::LANG_CHINESE: {
        WORD sub = res::SUBLANGID(lang);
        bool simplified = sub == res::SUBLANG_CHINESE_SIMPLIFIED || sub == res::SUBLANG_CHINESE_SINGAPORE;
        return simplified ? CHINESE_SIMPLIFIED : CHINESE_TRADITIONAL;
    }
    default: return ENGLISH;
    }
}

}  // namespace

std::string BoxButtonText(int buttonId, LANGID lang) {
    const ButtonTexts& texts = TextsFor(lang);
    switch (buttonId) {
    case IDOK: return texts.ok;
    case IDCANCEL: return texts.cancel;
    case IDYES: return texts.yes;
    case IDNO: return texts.no;
    default: return "";
    }
}

}  // namespace platform::ui
