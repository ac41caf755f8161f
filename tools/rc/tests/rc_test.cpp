#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <random>

#include "platform/resources/win_styles.h"
#include "tools/rc/rc_emit.h"
#include "tools/rc/rc_parser.h"

namespace {

namespace fs = std::filesystem;

// A scratch directory of script files for one test.
class ScriptDir : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("rc_test_" + std::string(info->name()) + "_" + std::to_string(std::random_device{}()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& text) {
        fs::path p = m_dir / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    fs::path m_dir;
};

const char* const ICON_HEADER =
    "color 0 000000\ncolor 1 800000\ncolor 2 008000\ncolor 3 808000\ncolor 4 000080\ncolor 5 800080\n"
    "color 6 008080\ncolor 7 C0C0C0\ncolor 8 808080\ncolor 9 FF0000\ncolor A 00FF00\ncolor B FFFF00\n"
    "color C 0000FF\ncolor D FF00FF\ncolor E 00FFFF\ncolor F FFFFFF\n";

const char* const GOOD_SCRIPT = R"(// a small script using every statement
#include "ids.h"
LANGUAGE LANG_GERMAN, SUBLANG_GERMAN
IDD_TEST DIALOGEX 0, 0, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION
EXSTYLE WS_EX_APPWINDOW
CAPTION "Größe"
FONT 10, "System", 0, 0, 0x1
BEGIN
    DEFPUSHBUTTON   "&OK",IDOK,1,2,3,4
    PUSHBUTTON      "Hidden",IDC_HIDDEN,5,6,7,8,NOT WS_VISIBLE | NOT WS_TABSTOP
    AUTORADIOBUTTON "Radio",IDC_RADIO,0,0,9,9,WS_GROUP | NOT WS_TABSTOP
    COMBOBOX        IDC_LIST,0,0,9,9,CBS_DROPDOWN | WS_VSCROLL,WS_EX_STATICEDGE
    CONTROL         "say ""hi"" \"there\"\n",IDC_STATIC,"static",SS_CENTER,-1,0,9,9
END
STRINGTABLE
BEGIN
    1 "one"
    2, "two"
END
128 ICON "a.icon"
VS_VERSION_INFO VERSIONINFO
 FILEVERSION 2,2,2,0
 FILEOS VOS__WINDOWS32
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "040904b0"
        BEGIN
            VALUE "ProductName", "Test"
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x409, 1200
    END
END
)";

TEST_F(ScriptDir, CompilesEveryStatementWithItsDefaultsAndEscapes) {
    Write("ids.h",
          "#pragma once\n#define IDD_TEST 7 /* the */ // dialog\n#define IDC_HIDDEN (1053)\n"
          "#define IDC_RADIO 1054\n#define IDC_LIST IDC_RADIO\n");
    Write("a.icon", std::string("# test\n") + ICON_HEADER + "image 2 2\n0F\n.9\n");
    rc::RcScript s = rc::ParseScript(Write("t.rc", GOOD_SCRIPT));

    ASSERT_EQ(s.aDialogs.size(), 1u);
    const rc::RcDialog& d = s.aDialogs[0];
    EXPECT_EQ(d.nId, 7);
    EXPECT_EQ(d.lang, 1031);
    EXPECT_EQ(d.dwStyle, DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT);
    EXPECT_EQ(d.dwExStyle, WS_EX_APPWINDOW);
    EXPECT_EQ(d.strCaption, "Größe");
    EXPECT_TRUE(d.bExtended);
    EXPECT_EQ(d.nCharset, 1);
    ASSERT_EQ(d.aControls.size(), 5u);
    EXPECT_EQ(d.aControls[0].dwStyle, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
    EXPECT_EQ(d.aControls[0].nId, 1);
    EXPECT_EQ(d.aControls[1].dwStyle, WS_CHILD | BS_PUSHBUTTON);
    EXPECT_EQ(d.aControls[1].nId, 1053);
    EXPECT_EQ(d.aControls[2].dwStyle, WS_CHILD | WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON);
    // The named type replaces the statement's default type instead of mixing bits with it.
    EXPECT_EQ(d.aControls[3].dwStyle, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN);
    EXPECT_EQ(d.aControls[3].dwExStyle, WS_EX_STATICEDGE);
    EXPECT_EQ(d.aControls[3].nId, 1054);
    EXPECT_EQ(d.aControls[4].strClass, "Static");
    EXPECT_EQ(d.aControls[4].strText, "say \"hi\" \"there\"\n");
    EXPECT_EQ(d.aControls[4].nId, -1);
    EXPECT_EQ(d.aControls[4].nX, -1);

    ASSERT_EQ(s.aStrings.size(), 2u);
    EXPECT_EQ(s.aStrings[1].strText, "two");
    ASSERT_EQ(s.aIcons.size(), 1u);
    const rc::RcIconImage& img = s.aIcons[0].aImages.at(0);
    EXPECT_EQ(img.aPixels, (std::vector<BYTE>{0, 15, 0, 9}));
    EXPECT_EQ(img.aMask, (std::vector<BYTE>{0, 0, 1, 0}));
    EXPECT_EQ(img.aPalette[9].red, 0xFF);
    ASSERT_EQ(s.aVersions.size(), 1u);
    EXPECT_EQ(s.aVersions[0].aFileVersion[1], 2);
    EXPECT_EQ(s.aVersions[0].dwOS, 4u);
    EXPECT_EQ(s.aVersions[0].nTranslationCodePage, 1200);

    std::string source = rc::EmitTables(s, "t.rc");
    EXPECT_NE(source.find("\"Gr\\303\\266\\303\\237e\""), std::string::npos)
        << "non-ASCII bytes are written as octal escapes";
    EXPECT_NE(source.find("g_resourceTables = {DIALOGS, 1, STRINGS, 2, ICONS, 1, VERSIONS, 1}"), std::string::npos);
}

struct BadCase {
    const char* name;
    const char* script;  // written as bad.rc; may include "other.rc" or "x.icon"
    const char* other;   // contents of other.rc, or nullptr
    const char* icon;    // contents of x.icon after the palette, or nullptr
    const char* file;    // file the error is reported in
    int line;
    const char* message;  // part of the message
};

const BadCase BAD_CASES[] = {
    {"unclosed string", "LANGUAGE 9,1\nSTRINGTABLE\nBEGIN\n 1 \"abc\nEND\n", nullptr, nullptr, "bad.rc", 4,
     "string not closed"},
    {"unknown style", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nSTYLE WS_POPUP | WS_BOGUS\nBEGIN\nEND\n", nullptr, nullptr,
     "bad.rc", 3, "unknown name 'WS_BOGUS'"},
    {"dangling NOT", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nSTYLE WS_POPUP | NOT\nBEGIN\nEND\n", nullptr, nullptr, "bad.rc",
     4, "where a style was expected"},
    {"no language", "1 DIALOG 0,0,9,9\nBEGIN\nEND\n", nullptr, nullptr, "bad.rc", 1, "before any LANGUAGE"},
    {"dialog not closed", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nBEGIN\n LTEXT \"a\",-1,0,0,1,1\n", nullptr, nullptr,
     "bad.rc", 2, "not closed with END"},
    {"duplicate string", "LANGUAGE 9,1\nSTRINGTABLE\nBEGIN\n 5 \"a\"\n 5 \"b\"\nEND\n", nullptr, nullptr, "bad.rc", 5,
     "defined twice (first at"},
    {"coordinate too big", "LANGUAGE 9,1\n1 DIALOG 0,0,70000,9\nBEGIN\nEND\n", nullptr, nullptr, "bad.rc", 2,
     "out of range"},
    {"font extras on DIALOG", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nFONT 8, \"System\", 0, 0, 1\nBEGIN\nEND\n", nullptr,
     nullptr, "bad.rc", 3, "need DIALOGEX"},
    {"unsupported control", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nBEGIN\n CHECKBOX \"a\",5,0,0,1,1\nEND\n", nullptr, nullptr,
     "bad.rc", 4, "unsupported control statement 'CHECKBOX'"},
    {"missing comma", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nBEGIN\n LTEXT \"a\" 5,0,0,1,1\nEND\n", nullptr, nullptr,
     "bad.rc", 4, "expected ','"},
    {"missing last field", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nBEGIN\n LTEXT \"a\",5,0,0,1\nEND\n", nullptr, nullptr,
     "bad.rc", 4, "before the height"},
    {"bad escape", "LANGUAGE 9,1\nSTRINGTABLE\nBEGIN\n 1 \"a\\q\"\nEND\n", nullptr, nullptr, "bad.rc", 4,
     "unsupported escape"},
    {"invalid UTF-8", "LANGUAGE 9,1\nSTRINGTABLE\nBEGIN\n 1 \"a\xC3(\"\nEND\n", nullptr, nullptr, "bad.rc", 4,
     "not valid UTF-8"},
    {"number too large", "LANGUAGE 9,1\n1 DIALOG 0,0,9,9\nSTYLE 0x1FFFFFFFF\nBEGIN\nEND\n", nullptr, nullptr, "bad.rc",
     3, "number too large"},
    {"unsupported directive", "#ifdef X\n", nullptr, nullptr, "bad.rc", 1, "unsupported directive '#ifdef'"},
    {"missing include", "#include \"nowhere.h\"\n", nullptr, nullptr, "bad.rc", 1, "cannot read"},
    {"include of a directory", "#include \".\"\n", nullptr, nullptr, "bad.rc", 1, "cannot read"},
    {"include cycle", "#include \"other.rc\"\n", "#include \"other.rc\"\n", nullptr, "other.rc", 1,
     "nested too deeply"},
    {"error inside include", "#include \"other.rc\"\n", "#define A 1\n#define A 2\n", nullptr, "other.rc", 2,
     "defined again"},
    {"octal-looking define", "#define A 010\n", nullptr, nullptr, "bad.rc", 1, "leading zero"},
    {"octal-looking number", "LANGUAGE 9,1\n1 DIALOG 0,0,010,9\n", nullptr, nullptr, "bad.rc", 2, "leading zero"},
    {"comment left open on a define", "#define A 1 /* more\n*/\n", nullptr, nullptr, "bad.rc", 1,
     "must end on that line"},
    {"unclosed comment", "LANGUAGE 9,1\n/* never\n ends\n", nullptr, nullptr, "bad.rc", 2, "comment not closed"},
    {"icon row too short", "LANGUAGE 9,1\n1 ICON \"x.icon\"\n", nullptr, "image 2 2\n00\n0\n", "x.icon", 19,
     "row has 1 pixels"},
    {"icon bad pixel", "LANGUAGE 9,1\n1 ICON \"x.icon\"\n", nullptr, "image 2 1\n0G\n", "x.icon", 18, "neither 0-F"},
    {"icon missing rows", "LANGUAGE 9,1\n1 ICON \"x.icon\"\n", nullptr, "image 2 3\n00\n", "x.icon", 17,
     "fewer than 3 rows"},
    {"icon without palette", "LANGUAGE 9,1\n1 ICON \"y.icon\"\n", nullptr, nullptr, "bad.rc", 2,
     "cannot read icon file"},
    {"two string blocks",
     "LANGUAGE 9,1\n1 VERSIONINFO\nBEGIN\nBLOCK \"StringFileInfo\"\nBEGIN\nBLOCK \"a\"\nBEGIN\nEND\nBLOCK \"b\"\n",
     nullptr, nullptr, "bad.rc", 9, "only one string block"},
};

TEST_F(ScriptDir, RefusesMalformedInputWithFileAndLine) {
    for (const BadCase& c : BAD_CASES) {
        SCOPED_TRACE(c.name);
        std::string path = Write("bad.rc", c.script);
        if (c.other) Write("other.rc", c.other);
        if (c.icon) Write("x.icon", std::string(ICON_HEADER) + c.icon);
        try {
            rc::ParseScript(path);
            ADD_FAILURE() << "accepted";
        } catch (const rc::CCompileError& e) {
            EXPECT_EQ(fs::path(e.pos.strFile).filename(), c.file) << e.Describe();
            EXPECT_EQ(e.pos.nLine, c.line) << e.Describe();
            EXPECT_NE(e.strMessage.find(c.message), std::string::npos) << e.Describe();
        }
    }
}

// Every prefix of a valid script is either accepted or refused with a CCompileError.
TEST_F(ScriptDir, EveryTruncationIsRefusedCleanly) {
    Write("ids.h", "#define IDD_TEST 7\n#define IDC_HIDDEN 1053\n#define IDC_RADIO 1054\n#define IDC_LIST 1055\n");
    Write("a.icon", std::string(ICON_HEADER) + "image 2 2\n0F\n.9\n");
    std::string script = GOOD_SCRIPT;
    for (size_t n = 0; n < script.size(); ++n) {
        std::string path = Write("cut.rc", script.substr(0, n));
        try {
            rc::ParseScript(path);
        } catch (const rc::CCompileError&) {
        } catch (...) {
            ADD_FAILURE() << "prefix of " << n << " bytes threw something else";
        }
    }
}

}  // namespace
