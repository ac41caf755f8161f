// Command texts, the reading and showing of numbers, and the reply grammar.
#include <string>
#include <vector>

#include "panel/link/protocol.h"
#include "panel/tests/panel_fixture.h"

namespace {

std::string Esc(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '~' ? std::string("\x1B.") : std::string(1, c);
    return out;
}

TEST(CommandTexts, EveryRequestTypeFormatsItsTextByteForByte) {
    PortInfo port{};
    port.nTestWidthMm = 100;
    port.nTestHeightMm = 50;
    g_nFactorX = NOMINAL_FACTOR_X;
    g_nFactorY = NOMINAL_FACTOR_Y;
    g_nTestOrigin = 100;
    g_nMediaType = 2;
    const std::pair<int, std::string> cases[] = {
        {REQ_PANEL, "~R1:"},
        {REQ_SIZE, "~R2:"},
        {REQ_TEST_CUT, "~C6;1;12390:~C6;2;13112:PAPU100,100;PR;PD4000,0,0,2000,-4000,0,0,-2000PASPPU0,0;"},
        {REQ_SET_FACTORS, "~C6;1;12390:~C6;2;13112:"},
        {REQ_READ_FACTORS, "~R3:~R1:"},
        {REQ_SET_MEDIA, "~C1;7;2:"},
        {REQ_SAVE_FLASH, "~C0;0:"},
        {REQ_FIRMWARE, "~R4:"},
    };
    for (auto& [type, text] : cases) {
        char buffer[COMMAND_BUFFER_SIZE];
        ASSERT_TRUE(FormatRequest(type, port, buffer)) << type;
        EXPECT_EQ(std::string(buffer), Esc(text)) << type;
    }
    char buffer[COMMAND_BUFFER_SIZE];
    for (int type : {0, 9, -1}) EXPECT_FALSE(FormatRequest(type, port, buffer)) << type;
}

TEST(CommandTexts, ValuesTooLongForTheBufferSendNothingInsteadOfACutText) {
    PortInfo port{};
    g_nTestOrigin = 100;
    g_nFactorX = 99999;
    g_nFactorY = 99999;
    port.nTestWidthMm = 99999;
    port.nTestHeightMm = 99999;
    char buffer[COMMAND_BUFFER_SIZE];
    ASSERT_TRUE(FormatRequest(REQ_TEST_CUT, port, buffer));  // five-digit values fit
    EXPECT_EQ(std::string(buffer).size(), 94u);
    g_nFactorX = -2147483647 - 1;
    g_nFactorY = -2147483647 - 1;
    g_nTestOrigin = -2147483647 - 1;
    port.nTestWidthMm = 50000000;  // 40 times that is beyond 32 bits
    EXPECT_FALSE(FormatRequest(REQ_TEST_CUT, port, buffer));
    port.nTestWidthMm = 1000000;
    port.nTestHeightMm = -1000000;
    EXPECT_FALSE(FormatRequest(REQ_TEST_CUT, port, buffer));
    EXPECT_TRUE(FormatRequest(REQ_SET_FACTORS, port, buffer));
    g_nFactorX = NOMINAL_FACTOR_X;
    g_nFactorY = NOMINAL_FACTOR_Y;
    g_nTestOrigin = 100;
}

TEST(Readings, FiveSignificantDigitsWithThePointKept) {
    const std::pair<double, const char*> cases[] = {
        {0.25, "0.25"},          {609.6, "609.6"},        {1000, "1000."},        {0, "0."},
        {12345.6, "12346"},      {0.025, "2.5e-002"},     {0.1, "0.1"},           {0.09999, "9.999e-002"},
        {99999.4, "99999"},      {99999.7, "1.e+005"},    {100000, "1.e+005"},    {123456789, "1.2346e+008"},
        {-609.6, "-609.6"},      {-0.025, "-2.5e-002"},   {9.99996, "10."},       {0.0999996, "0.1"},
        {1e-300, "1.e-300"},
    };
    for (auto& [value, shown] : cases) EXPECT_EQ(std::string(FormatReading(value)), shown) << value;
}

TEST(Readings, NumbersAreReadFromThePlainDecimalPrefix) {
    const std::pair<const char*, double> decimals[] = {
        {"250", 250}, {" -1.5e2x", -150}, {"+.5", 0.5}, {"", 0}, {"abc", 0}, {"1e", 1},
        {"0x10", 0}, {"inf", 0}, {"nan", 0}, {"1e999", 0}, {"12,3", 12},
    };
    for (auto& [text, value] : decimals) EXPECT_DOUBLE_EQ(ReadDecimal(text), value) << text;
    const std::pair<const char*, LONG> integers[] = {
        {"12000", 12000}, {" -7", -7}, {"+3x", 3}, {"", 0}, {"x1", 0},
        {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
    };
    for (auto& [text, value] : integers) EXPECT_EQ(ReadInteger(text), value) << text;
}

TEST(Fields, CutFieldTakesAndDeletesTheFirstCharacters) {
    CString text = "OR2,1,2;";
    EXPECT_EQ(std::string(CutField(text, 3)), "OR2");
    EXPECT_EQ(std::string(text), ",1,2;");
    EXPECT_EQ(std::string(CutField(text, -1)), "");
    EXPECT_EQ(std::string(text), ",1,2;");
    EXPECT_EQ(std::string(CutField(text, 99)), ",1,2;");
    EXPECT_EQ(std::string(text), "");
}

// One reply each; what the panel shows and the shared values afterwards.
struct ReplyCase {
    const char* reply;
    std::vector<std::string> texts;  // force, offset, weight, quality, smooth, unroll, media, size x, size y
    int mediaType;
    LONG factorX, factorY;
    BOOL sizeReceived, factorsRead;
};

TEST_F(PanelTest, RepliesSetTheTextsAndValuesTheirGrammarGives) {
    const std::vector<std::string> none(9, "");
    const ReplyCase cases[] = {
        {"or1,1,80,250,0,1,0,1;", {"80", "0.25mm", "Light", "Fine", "Enable", "Disable", "Roll", "", ""}, 1, 12390, 13112, 0, 0},
        {"\r\nOR1,2,120,500,1,0,1,2;", {"120", "0.5mm", "Heavy", "Draft", "Disable", "Enable", "Edge", "", ""}, 2, 12390, 13112, 0, 0},
        {"OR1,1,80,250,0,1,0,3;", {"80", "0.25mm", "Light", "Fine", "Enable", "Disable", "Single", "", ""}, 3, 12390, 13112, 0, 0},
        {"OR1,1,80,250,0,1,0,4;", {"80", "0.25mm", "Light", "Fine", "Enable", "Disable", "", "", ""}, 0, 12390, 13112, 0, 0},
        {"OR1,;", {"", "0.mm", "Heavy", "Fine", "Disable", "Disable", "", "", ""}, 0, 12390, 13112, 0, 0},
        {"OR2,24384,40000;", {"", "", "", "", "", "", "", "609.6  mm", "1000.  mm"}, 0, 12390, 13112, 1, 0},
        {"OR2,;", {"", "", "", "", "", "", "", "0.  mm", "0.  mm"}, 0, 12390, 13112, 1, 0},
        {"OR2;", none, 0, 12390, 13112, 0, 0},
        {"OR3,12000,13000;", none, 0, 12390, 13112, 0, 1},
        {"OR3,12000,13000,0;", none, 0, 12000, 13000, 0, 1},
        {"OR3,0,13000,0;", none, 0, 12390, 13112, 0, 1},
        {"OR3,-5,7x,0;", none, 0, -5, 7, 0, 1},
        {"OR9,1,2;", none, 0, 12390, 13112, 0, 0},
        {";", none, 0, 12390, 13112, 0, 0},
        {"OR1", none, 0, 12390, 13112, 0, 0},
        {"XOR1,1,2;", none, 0, 12390, 13112, 0, 0},
        {"\x01\xFF,\x80;", none, 0, 12390, 13112, 0, 0},
    };
    for (const ReplyCase& c : cases) {
        CPanelDlg panel;
        g_pPanelDlg = &panel;
        Then([&] {
            g_nMediaType = 0;
            g_nFactorX = NOMINAL_FACTOR_X;
            g_nFactorY = NOMINAL_FACTOR_Y;
            g_bSizeReceived = 0;
            g_bFactorsRead.store(0);
            g_strRx = c.reply;
            panel.InterpretReply();
            std::vector<std::string> texts = {
                std::string(panel.m_strForce),     std::string(panel.m_strOffset),    std::string(panel.m_strMediaWeight),
                std::string(panel.m_strQuality),   std::string(panel.m_strSmooth),    std::string(panel.m_strAutoUnroll),
                std::string(panel.m_strMediaType), std::string(panel.m_strSizeX),     std::string(panel.m_strSizeY)};
            EXPECT_EQ(texts, c.texts) << c.reply;
            EXPECT_EQ(g_nMediaType, c.mediaType) << c.reply;
            EXPECT_EQ(g_nFactorX, c.factorX) << c.reply;
            EXPECT_EQ(g_nFactorY, c.factorY) << c.reply;
            EXPECT_EQ(g_bSizeReceived, c.sizeReceived) << c.reply;
            EXPECT_EQ(g_bFactorsRead.load(), c.factorsRead) << c.reply;
        });
        Escape();
        panel.DoModal();
    }
}

TEST_F(PanelTest, AFirmwareReplyShowsModelAndVersionInTheAboutBox) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"OR4,a,M1,V1.0 2002,b,c;", {"M1", "V1.0"}},
        {"OR4,a,M1,V1.0,b,c;", {"M1", ""}},
        {"OR4,a,M1,V2 x;", {"M1", ""}},
        {"OR4,a,M1;", {"", ""}},
    };
    for (auto& [reply, shown] : cases) {
        CPanelDlg panel;
        g_pPanelDlg = &panel;
        std::vector<std::string> labels;
        Then([&, reply = reply] {
            g_strRx = reply;
            panel.InterpretReply();
        });
        Then([&] {
            HWND about = platform::ui::ActiveModal();
            for (int id : {IDC_MODEL, IDC_VERSION}) {
                char text[64] = {};
                GetWindowTextA(GetDlgItem(about, id), text, sizeof text);
                labels.emplace_back(text);
            }
            platform::ui::PressKey(about, false);
        });
        Escape();
        panel.DoModal();
        EXPECT_EQ(labels, shown) << reply;
        EXPECT_EQ(std::string(panel.m_strModel), shown[0]);
    }
}

}  // namespace
