#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "panel/resources/resource.h"
#include "platform/resources/resource_tables.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/win_user.h"

namespace {

using namespace platform::res;

class UiLanguage : public ::testing::Test {
protected:
    void TearDown() override { SetUserUILanguage(0); }
};

const DialogTemplate* Dialog(int id, LANGID lang) {
    SetUserUILanguage(lang);
    return FindDialog(id);
}

const ControlTemplate* ControlById(const DialogTemplate* d, int id) {
    for (int i = 0; i < d->controlCount; ++i)
        if (d->controls[i].id == id) return &d->controls[i];
    return nullptr;
}

size_t Characters(const char* utf8) {
    size_t n = 0;
    for (const char* p = utf8; *p; ++p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++n;
    return n;
}

const int TEMPLATES[] = {IDD_PANEL,   IDD_ADJUST_METHOD, IDD_MEASURE,   IDD_SAVE_NAME,
                         IDD_SCALING, IDD_FLASH_SAVE,    IDD_MEDIA_TYPE};

struct Choice {
    LANGID ui;
    LANGID dialogs;
    LANGID about;
    LANGID texts;
    LANGID icon;
};

const Choice CHOICES[] = {
    {1031, 1031, 1031, 1028, 1028},  // German
    {1040, 1040, 1040, 1040, 1040},  // Italian
    {2052, 2052, 2052, 2052, 1028},  // Simplified Chinese
    {1028, 1028, 1028, 1028, 1028},  // Chinese (Traditional, Taiwan)
    {1033, 1028, 1033, 1028, 1028},  // US English
    {1036, 1028, 1033, 1028, 1028},  // French, any other language
    {3079, 1031, 1031, 1028, 1028},  // German (Austria)
    {2064, 1040, 1040, 1040, 1040},  // Italian (Switzerland)
    {4100, 2052, 2052, 2052, 1028},  // Chinese (Singapore) writes Simplified Chinese
    {3076, 1028, 1028, 1028, 1028},  // Chinese (Hong Kong)
    {2057, 1028, 1033, 1028, 1028},  // English (United Kingdom)
};

TEST_F(UiLanguage, EachLanguageGetsItsVariantOrTheFallback) {
    for (const Choice& c : CHOICES) {
        SCOPED_TRACE(c.ui);
        for (int id : TEMPLATES) {
            const DialogTemplate* d = Dialog(id, c.ui);
            ASSERT_NE(d, nullptr) << id;
            EXPECT_EQ(d->lang, c.dialogs) << id;
        }
        EXPECT_EQ(Dialog(IDD_ABOUTBOX, c.ui)->lang, c.about);
        for (UINT id = 1; id <= 17; ++id) EXPECT_EQ(ChooseString(g_resourceTables, id, c.ui)->lang, c.texts) << id;
        for (UINT id = 61712; id <= 61715; ++id) EXPECT_EQ(ChooseString(g_resourceTables, id, c.ui)->lang, 1033) << id;
        SetUserUILanguage(c.ui);
        EXPECT_STREQ(FindString(61714), "Please enter an integer between %1 and %2.");
        ASSERT_NE(FindIcon(IDR_MAINFRAME), nullptr);
        EXPECT_EQ(FindIcon(IDR_MAINFRAME)->lang, c.icon);
        ASSERT_NE(FindVersion(), nullptr);
        EXPECT_EQ(FindVersion()->lang, 1028);
        EXPECT_EQ(FindDialog(999), nullptr);
        EXPECT_EQ(FindString(999), nullptr);
        EXPECT_NE(FindString(IDS_FACTOR_OUT_OF_RANGE), nullptr);
    }
}

TEST_F(UiLanguage, StringTableVariantsAreDistinctWhereTheTextsDiffer) {
    SetUserUILanguage(1031);
    EXPECT_STREQ(FindString(IDS_ROLL), "Roll");
    SetUserUILanguage(1040);
    EXPECT_STREQ(FindString(IDS_ROLL), "Rotolo");
    EXPECT_STREQ(FindString(IDS_LIGHT), "Light");
    SetUserUILanguage(2052);
    EXPECT_STREQ(FindString(IDS_ROLL), "整卷纸张");
    EXPECT_STREQ(FindString(IDS_NOT_CONNECTED), "\"割字机连线失败,请检测端口或割字机是否正常 . \"");
    SetUserUILanguage(1033);
    EXPECT_STREQ(FindString(IDS_MODIFY_OK), "\"Modify OK\"");
}

TEST_F(UiLanguage, EnglishTextLengthsInCharacters) {
    const size_t LENGTHS[] = {82, 101, 43, 126, 36, 20, 11, 6, 7, 4, 4, 6, 5, 4, 5, 5, 77};
    SetUserUILanguage(1028);
    for (UINT id = 1; id <= 17; ++id) EXPECT_EQ(Characters(FindString(id)), LENGTHS[id - 1]) << id;
    EXPECT_STREQ(FindString(IDS_SINGLE_TYPE),
                 "\"The Machine was set as Single type.\nCan't use Dashel to change media type.\"\n");
    // Italian and Simplified Chinese keep the English message 17.
    for (LANGID lang : {1040, 2052}) {
        SetUserUILanguage(lang);
        EXPECT_EQ(Characters(FindString(IDS_SINGLE_TYPE)), 77u);
    }
}

struct PanelLayout {
    LANGID lang;
    int count;
    short okX, okY, aboutX, aboutY;
    const char* pollSize;
};

TEST_F(UiLanguage, PanelLayoutPerVariant) {
    const PanelLayout LAYOUTS[] = {
        {1028, 39, 134, 125, 134, 108, "&Poll Size"},
        {1031, 38, 133, 107, 133, 125, "&Mediengröße"},
        {1040, 38, 133, 107, 133, 125, "&Registra dimens."},
        {2052, 38, 133, 107, 133, 125, "&纸张大小"},
    };
    for (const PanelLayout& l : LAYOUTS) {
        SCOPED_TRACE(l.lang);
        const DialogTemplate* d = Dialog(IDD_PANEL, l.lang);
        ASSERT_EQ(d->lang, l.lang);
        EXPECT_EQ(d->controlCount, l.count);
        const ControlTemplate* ok = ControlById(d, 1);
        EXPECT_EQ(ok->x, l.okX);
        EXPECT_EQ(ok->y, l.okY);
        EXPECT_EQ(ControlById(d, IDC_ABOUT)->x, l.aboutX);
        EXPECT_EQ(ControlById(d, IDC_ABOUT)->y, l.aboutY);
        EXPECT_STREQ(ControlById(d, IDC_POLL_SIZE)->text, l.pollSize);
        EXPECT_EQ(ControlById(d, IDC_REPLY_NOTIFY) != nullptr, l.lang == 1028);
        EXPECT_NE(ControlById(d, IDC_HIDDEN), nullptr);
    }
    EXPECT_EQ(ControlById(Dialog(IDD_PANEL, 1040), IDC_POLL_SIZE)->cx, 61);
    const ControlTemplate& frame = Dialog(IDD_PANEL, 2052)->controls[27];
    EXPECT_EQ(frame.y, 26);
    EXPECT_EQ(frame.cy, 115);
}

TEST_F(UiLanguage, DialogFramesAndFonts) {
    const DWORD FRAME = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    for (LANGID lang : {1028, 1031, 1040, 2052}) {
        SCOPED_TRACE(lang);
        const DialogTemplate* panel = Dialog(IDD_PANEL, lang);
        EXPECT_EQ(panel->style, FRAME | WS_VISIBLE | DS_3DLOOK);
        EXPECT_EQ(panel->exStyle, WS_EX_APPWINDOW);
        EXPECT_TRUE(panel->extended);
        EXPECT_STREQ(panel->fontName, "System");
        EXPECT_EQ(panel->pointSize, 10);
        EXPECT_EQ(panel->charset, 1);
        for (int id : TEMPLATES) {
            const DialogTemplate* d = Dialog(id, lang);
            EXPECT_EQ(d->x, 0);
            EXPECT_EQ(d->y, 0);
            if (id == IDD_PANEL) continue;
            EXPECT_EQ(d->style, FRAME) << id;
            EXPECT_FALSE(d->extended) << id;
            EXPECT_STREQ(d->caption, id == IDD_ADJUST_METHOD && lang == 1040 ? " Dashel" : "Dashel") << id;
        }
        const DialogTemplate* scaling = Dialog(IDD_SCALING, lang);
        EXPECT_EQ(scaling->cx, 154);
        EXPECT_EQ(scaling->cy, 125);
    }
    const DialogTemplate* about = Dialog(IDD_ABOUTBOX, 1033);
    EXPECT_STREQ(about->caption, "About");
    EXPECT_EQ(about->pointSize, 8);
    EXPECT_EQ(about->style, FRAME);
}

// The variants of a template share ids, classes, styles and order; only the panel's 1061 is English-only.
TEST_F(UiLanguage, VariantsHaveTheEnglishControls) {
    for (int id : TEMPLATES) {
        const DialogTemplate* english = Dialog(id, 1028);
        for (LANGID lang : {1031, 1040, 2052}) {
            const DialogTemplate* d = Dialog(id, lang);
            SCOPED_TRACE(std::to_string(id) + "/" + std::to_string(lang));
            int expected = english->controlCount - (id == IDD_PANEL ? 1 : 0);
            ASSERT_EQ(d->controlCount, expected);
            for (int i = 0; i < d->controlCount; ++i) {
                EXPECT_EQ(d->controls[i].id, english->controls[i].id) << i;
                EXPECT_STREQ(d->controls[i].className, english->controls[i].className) << i;
                EXPECT_EQ(d->controls[i].style, english->controls[i].style) << i;
                EXPECT_EQ(d->controls[i].style & WS_DISABLED, 0u) << i;
            }
        }
    }
}

struct StyleCase {
    int dialog;
    int id;
    const char* className;
    DWORD style;
    DWORD exStyle;
};

TEST_F(UiLanguage, ControlKindsCarryTheirStyles) {
    const DWORD CV = WS_CHILD | WS_VISIBLE;
    const StyleCase CASES[] = {
        {IDD_PANEL, 1, "Button", CV | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
        {IDD_PANEL, IDC_PORT, "ComboBox", CV | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, WS_EX_STATICEDGE},
        {IDD_PANEL, IDC_HIDDEN, "Button", WS_CHILD | BS_PUSHBUTTON, 0},
        {IDD_PANEL, IDC_REPLY_NOTIFY, "Button", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0},
        {IDD_PANEL, IDC_FORCE, "Static", CV | WS_GROUP | SS_LEFT, 0},
        {IDD_ADJUST_METHOD, IDC_CALIBRATION, "Button", CV | WS_GROUP | BS_AUTORADIOBUTTON, 0},
        {IDD_ADJUST_METHOD, IDC_TEST_SIZE_FRAME, "Button", CV | BS_GROUPBOX, 0},
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "Edit", CV | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {IDD_SAVE_NAME, IDC_NAME_LIST, "ListBox",
         CV | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0},
        {IDD_SCALING, IDC_SAVED_SIZES, "ComboBox", CV | WS_TABSTOP | CBS_DROPDOWN | WS_VSCROLL, 0},
        {IDD_SCALING, IDC_LOAD_DATA, "Button", CV | BS_AUTORADIOBUTTON, 0},
        {IDD_SCALING, IDC_EDIT_Y, "Edit", CV | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY | ES_RIGHT, 0},
        {IDD_SCALING, IDC_SCROLL_X, "ScrollBar", CV | SBS_HORZ, 0},
        {IDD_MEDIA_TYPE, IDC_EDGE, "Button", CV | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 0},
    };
    for (const StyleCase& c : CASES) {
        SCOPED_TRACE(std::to_string(c.dialog) + "/" + std::to_string(c.id));
        const ControlTemplate* ctl = ControlById(Dialog(c.dialog, 1028), c.id);
        ASSERT_NE(ctl, nullptr);
        EXPECT_STREQ(ctl->className, c.className);
        EXPECT_EQ(ctl->style, c.style);
        EXPECT_EQ(ctl->exStyle, c.exStyle);
    }
}

struct TextCase {
    int dialog;
    LANGID lang;
    int row;  // 1-based, as the layout tables count
    const char* text;
    short x, y, cx, cy;  // cx 0: not checked
};

TEST_F(UiLanguage, SampleTextsAndPlacements) {
    const TextCase CASES[] = {
        {IDD_MEASURE, 1031, 3, "L?ge  X", 15, 44, 32, 11},
        {IDD_MEASURE, 1040, 5, "Kestra sta tagliano un rettangolo sul supporto.", 10, 12, 170, 11},
        {IDD_MEASURE, 2052, 4, "Please measure the width and length  and key ", 10, 22, 170, 11},
        {IDD_SCALING, 1031, 12, "L?ge X in %", 15, 44, 61, 34},
        {IDD_SCALING, 2052, 4, "载入档案", 90, 17, 48, 10},
        {IDD_SCALING, 2052, 5, "使用百分比", 11, 16, 56, 10},
        {IDD_ADJUST_METHOD, 1028, 3, "Please load  a media on Cutter,", 16, 10, 153, 9},
        {IDD_ADJUST_METHOD, 1031, 4, " dass sich der Plotter im ONLINE Modus befindet.", 16, 20, 153, 9},
        {IDD_ADJUST_METHOD, 2052, 6, "载入档案或使用百分比", 23, 57, 96, 10},
        {IDD_ADJUST_METHOD, 2052, 7, "", 16, 31, 154, 11},
        {IDD_PANEL, 1031, 6, "Qualität", 15, 88, 41, 12},
        {IDD_PANEL, 1040, 8, "Autosrotolam", 15, 112, 53, 12},
        {IDD_PANEL, 2052, 30, "纸张大小", 15, 33, 38, 9},
        {IDD_FLASH_SAVE, 1040, 3, "Salvo Dati nel flash rom?", 7, 7, 82, 14},
        {IDD_MEDIA_TYPE, 1031, 4, "Aus", 13, 18, 69, 10},
        {IDD_SAVE_NAME, 2052, 5, "档案名称", 13, 9, 46, 8},
        {IDD_ABOUTBOX, 1028, 4, "", 7, 34, 132, 10},
        {IDD_ABOUTBOX, 1031, 4, "", 7, 34, 132, 10},
        {IDD_ABOUTBOX, 2052, 2, "Kestra Detecting Program", 7, 12, 132, 12},
        {IDD_ABOUTBOX, 1033, 7, "Model : ", 25, 63, 29, 8},
    };
    for (const TextCase& c : CASES) {
        SCOPED_TRACE(std::to_string(c.dialog) + "/" + std::to_string(c.lang) + " row " + std::to_string(c.row));
        const DialogTemplate* d = Dialog(c.dialog, c.lang);
        ASSERT_EQ(d->lang, c.lang);
        ASSERT_LE(c.row, d->controlCount);
        const ControlTemplate& ctl = d->controls[c.row - 1];
        EXPECT_STREQ(ctl.text, c.text);
        EXPECT_EQ(ctl.x, c.x);
        EXPECT_EQ(ctl.y, c.y);
        EXPECT_EQ(ctl.cx, c.cx);
        EXPECT_EQ(ctl.cy, c.cy);
    }
}

TEST_F(UiLanguage, AboutBuildNumberHasSixteenDigitsAndTheVariantsDate) {
    for (LANGID lang : {1028, 1031, 1033, 1040, 2052}) {
        SCOPED_TRACE(lang);
        std::string build = Dialog(IDD_ABOUTBOX, lang)->controls[4].text;
        ASSERT_EQ(build.size(), std::strlen("Build Number:") + 16);
        EXPECT_EQ(build.rfind("Build Number:", 0), 0u);
        EXPECT_EQ(build.find_first_not_of("0123456789", 13), std::string::npos);
        EXPECT_EQ(build.substr(21), lang == 1028 ? "20021209" : "20020424");
        EXPECT_EQ(build.substr(13, 8), std::string(Dialog(IDD_ABOUTBOX, 1028)->controls[4].text).substr(13, 8));
    }
}

TEST_F(UiLanguage, IconAndVersionBlock) {
    SetUserUILanguage(1040);
    const IconGroup* italian = FindIcon(IDR_MAINFRAME);
    SetUserUILanguage(1028);
    const IconGroup* english = FindIcon(IDR_MAINFRAME);
    ASSERT_EQ(english->imageCount, 2);
    ASSERT_EQ(italian->imageCount, 2);
    const int SIDES[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        const IconImage& a = english->images[i];
        const IconImage& b = italian->images[i];
        EXPECT_EQ(a.width, SIDES[i]);
        EXPECT_EQ(a.height, SIDES[i]);
        size_t n = static_cast<size_t>(a.width * a.height);
        EXPECT_EQ(std::memcmp(a.pixels, b.pixels, n), 0);
        EXPECT_EQ(std::memcmp(a.mask, b.mask, n), 0);
        for (size_t p = 0; p < n; ++p) ASSERT_LT(a.pixels[p], 16);
    }

    const VersionInfo* v = FindVersion();
    EXPECT_EQ(v->fileVersion[0], 2);
    EXPECT_EQ(v->fileVersion[3], 0);
    EXPECT_EQ(v->productVersion[3], 1);
    EXPECT_EQ(v->fileType, 1u);  // application
    EXPECT_EQ(v->fileOS, 4u);    // 32-bit Windows
    EXPECT_STREQ(v->stringBlock, "040904b0");
    EXPECT_EQ(v->translationLang, 0x0409);
    EXPECT_EQ(v->translationCodePage, 1200);
    auto value = [v](const char* key) -> std::string {
        for (int i = 0; i < v->stringCount; ++i)
            if (std::strcmp(v->strings[i].key, key) == 0) return v->strings[i].value;
        return "(missing)";
    };
    EXPECT_EQ(value("FileVersion"), "2, 2, 2, 0");
    EXPECT_EQ(value("ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(value("OriginalFilename"), "Dashel.EXE");
    EXPECT_EQ(value("ProductName"), "Dashel Application");
    EXPECT_EQ(value("CompanyName"), "");
}

TEST_F(UiLanguage, LoadStringCopiesAndCutsAtCharacters) {
    SetUserUILanguage(2052);
    char buffer[64];
    EXPECT_EQ(LoadStringA(nullptr, IDS_ROLL, buffer, sizeof buffer), 12);
    EXPECT_STREQ(buffer, "整卷纸张");
    // Eight bytes hold two whole three-byte characters, never a part of the third.
    EXPECT_EQ(LoadStringA(nullptr, IDS_ROLL, buffer, 8), 6);
    EXPECT_STREQ(buffer, "整卷");
    EXPECT_EQ(LoadStringA(nullptr, 999, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(nullptr, IDS_ROLL, buffer, 0), 0);
    EXPECT_EQ(LoadStringA(nullptr, IDS_ROLL, nullptr, 10), 0);
}

}  // namespace
