// The cutter's parser: what it makes of well-formed, split, truncated,
// malformed and random byte streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cutter_sim/cutter_model.h"
#include "tools/cutter_sim/cutter_parser.h"

namespace {

using cutter_sim::CCutterModel;
using cutter_sim::CCutterParser;
using cutter_sim::CommandKind;
using cutter_sim::CutterCommand;

const std::string TEST_RECTANGLE =
    "\x1B.C6;1;12390:\x1B.C6;2;13112:PAPU100,100;PR;PD4000,0,0,2000,-4000,0,0,-2000PASPPU0,0;";

std::string Describe(const std::vector<CutterCommand>& commands) {
    std::string text;
    for (const CutterCommand& c : commands) {
        if (!text.empty()) text += " | ";
        text += (c.eKind == CommandKind::Device ? "D " : "H ") + c.strName;
        for (double p : c.aParams) {
            char number[32];
            std::snprintf(number, sizeof number, " %.10g", p);
            text += number;
        }
    }
    return text;
}

std::string FeedWhole(const std::string& bytes) {
    CCutterParser parser;
    return Describe(parser.Feed(bytes));
}

TEST(CutterParser, ReadsWhatFitsAndSkipsTheRest) {
    struct Case {
        const char* szWhat;
        std::string strBytes;
        std::string strCommands;
    } const cases[] = {
        {"test rectangle", TEST_RECTANGLE,
         "D C6 1 12390 | D C6 2 13112 | H PA | H PU 100 100 | H PR | H PD 4000 0 0 2000 -4000 0 0 -2000 | H PA | H SP"
         " | H PU 0 0"},
        {"two reads in one write", "\x1B.R3:\x1B.R1:", "D R3 | D R1"},
        {"garbage", std::string("\x01\xFF#:;,\x1Bx.R1:\0\x1B\x1B", 15), ""},
        {"truncated device command, then a good one", "\x1B.C6;1;123\x1B.R2:", "D R2"},
        {"truncated instruction, then good ones", "PD100,\x1B.R1:PU5,5;", "D R1 | H PU 5 5"},
        {"malformed device bodies",
         "\x1B.R:\x1B.r1:\x1B.C6;;1:\x1B.C6;1;2147483648:\x1B.C6;1;-2147483648:\x1B.R12345:\x1B.R1;:", "D C6 1 -2147483648"},
        {"overlong device body", "\x1B.C6;1;" + std::string(100, '1') + ":\x1B.R4:", "D R4"},
        {"malformed parameters", "PD1,,2;PU-5.5 +2;PA1.2.3;PR#4;PD,1;IN;PD" + std::string(30, '9') + ";", "H PU -5.5 2 | H IN"},
        {"lower case, ended by the next mnemonic, last one pending", "pu1,2pd3,4", "H PU 1 2"},
        {"a lone letter is no instruction", "P;Q5;SP1;", "H SP 1"},
    };
    for (const Case& c : cases) EXPECT_EQ(FeedWhole(c.strBytes), c.strCommands) << c.szWhat;
}

TEST(CutterParser, ChunkBoundariesChangeNothing) {
    for (const std::string& stream : {TEST_RECTANGLE, std::string("\x1B.C6;2;13112:")}) {
        const std::string whole = FeedWhole(stream);
        for (size_t split = 0; split <= stream.size(); ++split) {
            CCutterParser parser;
            std::vector<CutterCommand> commands = parser.Feed(stream.substr(0, split));
            for (CutterCommand& c : parser.Feed(stream.substr(split))) commands.push_back(std::move(c));
            EXPECT_EQ(Describe(commands), whole) << "split at " << split;
        }
        CCutterParser bytewise;
        std::vector<CutterCommand> commands;
        for (char c : stream)
            for (CutterCommand& command : bytewise.Feed(std::string(1, c))) commands.push_back(std::move(command));
        EXPECT_EQ(Describe(commands), whole) << "byte by byte";
    }
}

TEST(CutterParser, LongCoordinateListsComeInWholePairs) {
    std::string stream = "PD";
    for (int i = 0; i < 70; ++i) stream += "1,2,";
    stream += "3,4;";
    CCutterParser parser;
    std::vector<CutterCommand> pieces = parser.Feed(stream);
    size_t numbers = 0;
    for (const CutterCommand& piece : pieces) {
        EXPECT_EQ(piece.strName, "PD");
        EXPECT_LE(piece.aParams.size(), CCutterParser::MAX_PARAMS);
        EXPECT_EQ(piece.aParams.size() % 2, 0u);
        numbers += piece.aParams.size();
    }
    EXPECT_EQ(numbers, 142u);
    EXPECT_EQ(Describe({pieces.back()}), "H PD 1 2 1 2 1 2 1 2 1 2 1 2 3 4");
}

TEST(CutterParser, EndsOfCommandsAreOffsetsIntoTheirChunk) {
    CCutterParser parser;
    std::vector<CutterCommand> commands = parser.Feed("\x1B.R1:PU1,1;PD");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].nEnd, 5u);
    EXPECT_EQ(commands[1].nEnd, 11u);
    commands = parser.Feed("PA");  // PD is ended by the next mnemonic, before its first byte
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].nEnd, 0u);
}

// Random pieces of commands and random bytes through the parser and the
// model: nothing may crash, hang or grow without bound.
TEST(CutterParser, RandomFloodStaysBounded) {
    const char* const pieces[] = {"\x1B.", "R1:", "R2:", "R3:", "R4:", "C6;1;", "C6;2;", "C1;7;", "C0;0:", ":", ";",
                                  ",",     "-",   ".",   " ",   "PA",  "PR",    "PU",    "PD",    "SP",    "IN", "9"};
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    CCutterParser parser;
    CCutterModel model;
    const size_t heldBound =
        CCutterParser::MAX_DEVICE_BODY + CCutterParser::MAX_NUMBER + CCutterParser::MAX_PARAMS + 2;
    size_t replies = 0;
    for (int round = 0; round < 40000; ++round) {
        std::string chunk;
        for (size_t n = 1 + next() % 24; n > 0; --n) {
            std::uint32_t r = next();
            if ((r >> 24) < 40) chunk += static_cast<char>(r >> 8);
            else if ((r >> 24) < 120) chunk += static_cast<char>('0' + (r >> 8) % 10);
            else chunk += pieces[(r >> 8) % std::size(pieces)];
        }
        for (const CutterCommand& command : parser.Feed(chunk)) {
            std::string reply = model.Apply(command);
            ASSERT_LT(reply.size(), 120u);
            replies += !reply.empty();
        }
        ASSERT_LE(parser.Held(), heldBound);
    }
    size_t points = 0;
    for (const auto& path : model.Cuts()) points += path.size();
    EXPECT_LE(points, CCutterModel::MAX_CUT_POINTS);
    EXPECT_GT(replies, 0u);  // the flood did reach the commands
    EXPECT_FALSE(model.Cuts().empty());
}

}  // namespace
