// Command texts, the reading and showing of numbers, and the reply grammar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/link/protocol.h"
#include "panel/link/reply.h"
#include "panel/resources/resource.h"
#include "panel/tests/dashel_globals.h"

namespace {

using CommandTexts = DashelGlobalsTest;

std::string Esc(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '~' ? std::string("\x1B.") : std::string(1, c);
    return out;
}

TEST_F(CommandTexts, EveryRequestTypeFormatsItsTextByteForByte) {
    PortInfo port{};
    port.nTestWidthMm = 100;
    port.nTestHeightMm = 50;
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

TEST_F(CommandTexts, ValuesTooLongForTheBufferSendNothingInsteadOfACutText) {
    PortInfo port{};
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

// One reply each, and what it says: the kind, then its values separated by '|'.
std::string Describe(const ReplyRecord& r) {
    auto word = [](UINT id) -> std::string {
        switch (id) {
        case IDS_ENABLE: return "Enable";
        case IDS_DISABLE: return "Disable";
        case IDS_ROLL: return "Roll";
        case IDS_EDGE: return "Edge";
        case IDS_SINGLE: return "Single";
        case IDS_DRAFT: return "Draft";
        case IDS_FINE: return "Fine";
        case IDS_HEAVY: return "Heavy";
        case IDS_LIGHT: return "Light";
        default: return "?" + std::to_string(id);
        }
    };
    auto s = [](const CString& text) { return std::string(text); };
    switch (r.kind) {
    case REPLY_NONE: return "none";
    case REPLY_PANEL:
        return "OR1 " + word(r.nMediaWeightWord) + "|" + s(r.strForce) + "|" + s(r.strOffset) + "|" +
               word(r.nQualityWord) + "|" + word(r.nSmoothWord) + "|" + word(r.nAutoUnrollWord) + "|" +
               (r.nMediaType ? word(r.nMediaTypeWord) + " " + std::to_string(r.nMediaType) : "-");
    case REPLY_SIZE: return "OR2 " + s(r.strSizeX) + "|" + s(r.strSizeY);
    case REPLY_FACTORS:
        return "OR3 " + s(r.strFactorX) + "|" + s(r.strFactorY) + " -> " + std::to_string(r.nFactorX) + "|" +
               std::to_string(r.nFactorY);
    case REPLY_FIRMWARE: return "OR4 " + s(r.strModel) + "|" + s(r.strVersion);
    }
    return "?";
}

TEST(Replies, EachReplySaysWhatItsGrammarGives) {
    const std::pair<const char*, const char*> cases[] = {
        {"or1,1,80,250,0,1,0,1;", "OR1 Light|80|0.25mm|Fine|Enable|Disable|Roll 1"},
        {"\r\nOR1,2,120,500,1,0,1,2;", "OR1 Heavy|120|0.5mm|Draft|Disable|Enable|Edge 2"},
        {"OR1,1, 80 ,250,0,1,0,3;", "OR1 Light| 80 |0.25mm|Fine|Enable|Disable|Single 3"},
        {"OR1,1,80,250,0,1,0,4;", "OR1 Light|80|0.25mm|Fine|Enable|Disable|-"},
        {"OR1,;", "OR1 Heavy||0.mm|Fine|Disable|Disable|-"},
        {"OR2,24384,40000;", "OR2 609.6  mm|1000.  mm"},
        {"OR2,;", "OR2 0.  mm|0.  mm"},
        {"OR3,12000,13000;", "OR3 12000| -> 12390|13112"},  // the Y factor must end at a ','
        {"OR3,12000,13000,0;", "OR3 12000|13000 -> 12000|13000"},
        {"OR3,0,13000,0;", "OR3 0|13000 -> 12390|13112"},
        {"OR3,-5,7x,0;", "OR3 -5|7x -> -5|7"},
        {"OR4,a,M1,V1.0 2002,b,c;", "OR4 M1|V1.0"},
        {"OR4,a,M1,V1.0,b,c;", "OR4 M1|"},
        {"OR4,a,M1,V2 x;", "OR4 M1|"},
        {"OR4,a,M1;", "OR4 |"},
        {"OR2;", "none"},
        {"OR9,1,2;", "none"},
        {"OR1 ,1;", "none"},
        {"XOR1,1,2;", "none"},
        {";", "none"},
        {"OR1", "none"},
        {"", "none"},
        {"\x01\xFF,\x80;", "none"},
    };
    for (auto& [reply, says] : cases) EXPECT_EQ(Describe(ParseReply(reply)), says) << reply;
}

}  // namespace
