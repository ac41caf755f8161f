// The cutter's model: its replies, the settings commands and flash save, and
// what its knife cuts through the factors at which it cuts true.
#include <gtest/gtest.h>

#include <string>

#include "tools/cutter_sim/cutter_model.h"

namespace {

using cutter_sim::CCutterModel;
using cutter_sim::CCutterParser;

// Feeds the bytes; returns every reply, one after another.
std::string Feed(CCutterModel& model, const std::string& bytes) {
    CCutterParser parser;
    std::string replies;
    for (const auto& command : parser.Feed(bytes)) replies += model.Apply(command);
    return replies;
}

std::string Cuts(const CCutterModel& model) {
    std::string text;
    for (const auto& path : model.Cuts()) text += "[" + cutter_sim::FormatPath(path) + "]";
    return text;
}

const std::string TEST_RECTANGLE_100_BY_50 =
    "\x1B.C6;1;12390:\x1B.C6;2;13112:PAPU100,100;PR;PD4000,0,0,2000,-4000,0,0,-2000PASPPU0,0;";

TEST(CutterModel, AnswersEveryReadCommand) {
    CCutterModel fresh;
    CCutterModel set;
    for (auto [key, value] : {std::pair{"weight", "2"}, {"force", "120"}, {"offset", "-75"}, {"quality", "1"},
                              {"smooth", "0"}, {"unroll", "1"}, {"media", "3"}, {"sizex", "24384"},
                              {"sizey", "0"}, {"factorx", "12000"}, {"factory", "2147483647"},
                              {"model", "KX 9"}, {"version", "V1.0"}, {"date", "May 2002"}})
        ASSERT_TRUE(set.Configure(key, value)) << key;
    struct Case {
        const char* szCommand;
        const char* szFresh;
        const char* szSet;
    } const cases[] = {
        {"\x1B.R1:", "OR1,1,80,250,2,1,0,1;", "OR1,2,120,-75,1,0,1,3;"},
        {"\x1B.R2:", "OR2,40000,24384;", "OR2,24384,0;"},
        {"\x1B.R3:", "OR3,12390,13112,0;", "OR3,12000,2147483647,0;"},
        {"\x1B.R4:", "OR4,0,K-720,V2.10 2002-03-18,0,0;", "OR4,0,KX 9,V1.0 May 2002,0,0;"},
        {"\x1B.R5:\x1B.C6;1;1:\x1B.C0;0:PD;", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Feed(fresh, c.szCommand), c.szFresh) << c.szCommand + 2;
        EXPECT_EQ(Feed(set, c.szCommand), c.szSet) << c.szCommand + 2;
    }
}

TEST(CutterModel, ConfigureRefusesWhatItCannotHoldOrReport) {
    CCutterModel model;
    struct Case {
        const char* szKey;
        std::string strValue;
    } const refused[] = {
        {"weight", ""},      {"force", "8x"},           {"offset", "2147483648"}, {"factorx", "0"},
        {"truey", "-13112"}, {"model", "K,720"},        {"date", "2002;"},        {"version", "V1 beta"},
        {"colour", "1"},     {"model", std::string(33, 'M')},
    };
    for (const Case& c : refused) EXPECT_FALSE(model.Configure(c.szKey, c.strValue)) << c.szKey << " " << c.strValue;
    EXPECT_EQ(Feed(model, "\x1B.R1:\x1B.R3:\x1B.R4:"), "OR1,1,80,250,2,1,0,1;OR3,12390,13112,0;OR4,0,K-720,V2.10 2002-03-18,0,0;");
}

TEST(CutterModel, SettingsCommandsAndFlashSave) {
    struct Case {
        const char* szBytes;
        const char* szFactors;  // the OR3 after them
        int nMedia;
    } const cases[] = {
        {"\x1B.C6;1;12451:\x1B.C6;2;13059:", "OR3,12451,13059,0;", 1},
        {"\x1B.C6;3;5:\x1B.C6;1;0:\x1B.C6;2;-7:\x1B.C6;1:", "OR3,12390,13112,0;", 1},
        {"\x1B.C1;7;2:", "OR3,12390,13112,0;", 2},
        {"\x1B.C1;7;3:\x1B.C1;7;4:\x1B.C1;7;0:\x1B.C1;6;1:", "OR3,12390,13112,0;", 3},
    };
    for (const Case& c : cases) {
        CCutterModel model;
        EXPECT_EQ(Feed(model, c.szBytes + std::string("\x1B.R3:")), c.szFactors) << c.szBytes;
        EXPECT_EQ(model.State().settings.nMedia, c.nMedia) << c.szBytes;
        EXPECT_EQ(model.FlashSaves(), 0);
    }

    CCutterModel model;
    Feed(model, "\x1B.C6;1;12000:\x1B.C1;7;2:\x1B.C0;1:");
    EXPECT_EQ(model.FlashSaves(), 0);
    EXPECT_EQ(model.Saved().nFactorX, 12390);
    Feed(model, "\x1B.C0;0:\x1B.C6;1;11000:\x1B.C1;7;3:");
    EXPECT_EQ(model.FlashSaves(), 1);
    EXPECT_EQ(model.Saved().nFactorX, 12000);  // what was there at the save, not what came after
    EXPECT_EQ(model.Saved().nMedia, 2);
    EXPECT_EQ(model.State().settings.nFactorX, 11000);
}

TEST(CutterModel, CutsTheTestRectangleThroughItsTrueFactors) {
    struct Case {
        const char* szTrueX;
        const char* szTrueY;
        const char* szCut;
    } const cases[] = {
        {"12390", "13112", "[(2.50,2.50) (102.50,2.50) (102.50,52.50) (2.50,52.50) (2.50,2.50)]"},
        // Cutting true at a larger X factor than commanded draws longer; at a smaller Y factor, narrower.
        {"12451", "13059", "[(2.51,2.49) (103.00,2.49) (103.00,52.29) (2.51,52.29) (2.51,2.49)]"},
    };
    for (const Case& c : cases) {
        CCutterModel model;
        ASSERT_TRUE(model.Configure("truex", c.szTrueX));
        ASSERT_TRUE(model.Configure("truey", c.szTrueY));
        EXPECT_EQ(Feed(model, TEST_RECTANGLE_100_BY_50), "");
        EXPECT_EQ(Cuts(model), c.szCut) << c.szTrueX;
    }
    // Commanding the corrected factors makes the same cutter cut 100 by 50 again.
    CCutterModel model;
    model.Configure("truex", "12451");
    model.Configure("truey", "13059");
    Feed(model, "\x1B.C6;1;12451:\x1B.C6;2;13059:PAPU100,100;PR;PD4000,0,0,2000,-4000,0,0,-2000PASPPU0,0;");
    EXPECT_EQ(Cuts(model), "[(2.50,2.50) (102.50,2.50) (102.50,52.50) (2.50,52.50) (2.50,2.50)]");
}

TEST(CutterModel, PathsFollowThePen) {
    CCutterModel model;
    // Absolute, then relative after a pen lift; SP lifts; IN returns home; an unpaired number goes nowhere.
    Feed(model, "PU40,40;PD80,40,80,80;PU;PR;PD-40,0;SP;PD0,40;IN;PD4,8,12;");
    EXPECT_EQ(Cuts(model), "[(1.00,1.00) (2.00,1.00) (2.00,2.00)][(2.00,2.00) (1.00,2.00)][(1.00,2.00) (1.00,3.00)]"
                           "[(0.00,0.00) (0.10,0.20)]");
}

}  // namespace
