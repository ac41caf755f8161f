// Resource lookup by number: the program's dialog templates, texts, icons and
// version block, each in the variant that suits the user-interface language.
//
// A variant is chosen in this order, the first that exists wins:
//   1. the user-interface language itself;
//   2. another region of the same primary language (Chinese Singapore prefers
//      Simplified Chinese 2052; otherwise the lowest language id);
//   3. US English (1033);
//   4. Chinese Traditional (1028), the program's reference variant.
#pragma once

#include "platform/base/win_types.h"

namespace platform::res {

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_CHINESE = 0x04;
constexpr WORD LANG_GERMAN = 0x07;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD LANG_ITALIAN = 0x10;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD SUBLANG_CHINESE_TRADITIONAL = 0x01;
constexpr WORD SUBLANG_CHINESE_SIMPLIFIED = 0x02;
constexpr WORD SUBLANG_CHINESE_HONGKONG = 0x03;
constexpr WORD SUBLANG_CHINESE_SINGAPORE = 0x04;
constexpr WORD SUBLANG_CHINESE_MACAU = 0x05;

constexpr LANGID MAKELANGID(WORD primary, WORD sub) { return static_cast<LANGID>((sub << 10) | primary); }
constexpr WORD PRIMARYLANGID(LANGID lang) { return lang & 0x3FF; }
constexpr WORD SUBLANGID(LANGID lang) { return lang >> 10; }

constexpr LANGID LANGID_ZH_TW = 1028;
constexpr LANGID LANGID_DE_DE = 1031;
constexpr LANGID LANGID_EN_US = 1033;
constexpr LANGID LANGID_IT_IT = 1040;
constexpr LANGID LANGID_ZH_CN = 2052;

struct ControlTemplate {
    const char* className;  // "Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"
    DWORD style;            // includes WS_CHILD, and WS_VISIBLE unless created hidden
    DWORD exStyle;
    int id;              // -1 for controls the program never addresses
    const char* text;    // UTF-8, "" when none
    short x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
    int id;
    LANGID lang;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    const char* caption;  // UTF-8
    const char* fontName;
    WORD pointSize;
    WORD weight;  // 0 unless the extended template names one
    bool italic;
    BYTE charset;  // 1 (default character set) unless the extended template names one
    bool extended;
    const ControlTemplate* controls;
    int controlCount;
};

struct IconColor {
    BYTE red, green, blue;
};

struct IconImage {
    int width, height;
    IconColor palette[16];
    const BYTE* pixels;  // width * height palette indices, top row first
    const BYTE* mask;    // width * height, 1 where the pixel is transparent
};

struct IconGroup {
    int id;
    LANGID lang;
    const IconImage* images;
    int imageCount;
};

struct VersionString {
    const char* key;    // "FileVersion", "ProductName", ...
    const char* value;  // UTF-8, "" when empty
};

struct VersionInfo {
    int id;
    LANGID lang;
    WORD fileVersion[4];
    WORD productVersion[4];
    DWORD fileFlagsMask, fileFlags, fileOS, fileType, fileSubtype;
    const char* stringBlock;  // language and code page of the strings, e.g. "040904b0"
    const VersionString* strings;
    int stringCount;
    WORD translationLang;
    WORD translationCodePage;
};

// The template's variant for the user-interface language; nullptr if the template has no variant.
const DialogTemplate* FindDialog(int id);
// The text's UTF-8 variant for the user-interface language; nullptr if the id has no text.
const char* FindString(UINT id);
// The icon group's variant for the user-interface language; nullptr if there is none.
const IconGroup* FindIcon(int id);
// The program's version block; nullptr if it has none.
const VersionInfo* FindVersion();

// The user-interface language: the override if set, else from the first non-empty of
// LC_ALL, LC_MESSAGES and LANG; 1033 for C, POSIX, unset and unknown languages.
LANGID UserUILanguage();
// Overrides the user-interface language; 0 returns to the locale.
void SetUserUILanguage(LANGID lang);
// The language of a locale name such as "de_DE.UTF-8" or "zh_TW"; 1033 for C, POSIX, "" and unknown.
LANGID LanguageFromLocale(const char* locale);

}  // namespace platform::res

