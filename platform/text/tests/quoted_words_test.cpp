// Quoting and splitting as the scripts and the spooler file rely on them:
// every byte comes back, and malformed text is refused rather than guessed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/quoted_words.h"

namespace {

using platform::text::Quote;
using platform::text::SplitLine;
using platform::text::SplitKeepingQuotes;
using platform::text::TextAfterFirstWord;
using platform::text::Unquote;
using Words = std::vector<std::string>;

TEST(QuotedWords, EveryByteSurvivesQuoting) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    Words words;
    std::string error;
    ASSERT_TRUE(SplitLine("file " + Quote(all) + " 7", &words, &error)) << error;
    EXPECT_EQ(words, (Words{"file", all, "7"}));
}

TEST(QuotedWords, QuoteWritesTheShortEscapesAndTwoHexDigits) {
    const struct {
        std::string bytes, quoted;
    } cases[] = {
        {"a,\"\\", "\"a,\\\"\\\\\""},
        {"\r\n\t", "\"\\r\\n\\t\""},
        {"\x1B" "5", "\"\\x1B5\""},           // a digit after the escape stays a character
        {std::string("\0" "7", 2), "\"\\x007\""},
        {"\x7F", "\"\\x7F\""},
        {"\xC3\xA4", "\"\xC3\xA4\""},         // UTF-8 as it is
        {"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Quote(c.bytes), c.quoted) << c.quoted;
}

TEST(QuotedWords, SplitLineReadsWordsAndEscapes) {
    const struct {
        std::string line;
        Words words;
    } cases[] = {
        {"  a\tb  ", {"a", "b"}},
        {"", {}},
        {"x \"two words\" \"\"", {"x", "two words", ""}},
        {"\"\\x41\\101\\0\\x1b5\"", {std::string("AA\0\x1B" "5", 5)}},
        {"\"\\a\\b\\f\\v\\'\\?\"", {"\a\b\f\v'?"}},
        {"\"C:\\~P\" \"\\w\"", {"C:\\~P", "\\w"}},  // a Windows path reads as written
        {"bare\\n", {"bare\\n"}},                     // escapes belong to strings only
    };
    for (const auto& c : cases) {
        Words words;
        std::string error;
        EXPECT_TRUE(SplitLine(c.line, &words, &error)) << c.line << ": " << error;
        EXPECT_EQ(words, c.words) << c.line;
    }
}

TEST(QuotedWords, SplitLineRefusesMalformedText) {
    for (const char* line : {"\"open", "\"ends in a backslash\\", "\"\\777\"", "\"\\x4\"", "\"\\xZZ\"",
                             "\"glued\"x", "word\"quoted\""}) {
        Words words;
        std::string error;
        EXPECT_FALSE(SplitLine(line, &words, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(QuotedWords, SplitKeepingQuotesLeavesStringsAsWritten) {
    EXPECT_EQ(SplitKeepingQuotes(" write h \"a b\"\t"), (Words{"write", "h", "\"a b\""}));
    EXPECT_EQ(SplitKeepingQuotes("ioctl h in=\"x \\\" y\" out=4"), (Words{"ioctl", "h", "in=\"x \\\" y\"", "out=4"}));
    EXPECT_EQ(SplitKeepingQuotes("a \"open to the end"), (Words{"a", "\"open to the end"}));
    EXPECT_EQ(SplitKeepingQuotes("a \"ends in\\"), (Words{"a", "\"ends in\\"}));
}

TEST(QuotedWords, UnquoteTakesExactlyOneString) {
    std::string bytes, error;
    EXPECT_TRUE(Unquote("\"a\\r\\x00\"", &bytes, &error)) << error;
    EXPECT_EQ(bytes, std::string("a\r\0", 3));
    for (const char* text : {"", "abc", "\"open", "\"a\" \"b\"", "\"a\"b"}) {
        error.clear();
        EXPECT_FALSE(Unquote(text, &bytes, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(QuotedWords, TextAfterFirstWordKeepsTheRestAsWritten) {
    EXPECT_EQ(TextAfterFirstWord("expect  tx 1 \"a  b\""), "tx 1 \"a  b\"");
    EXPECT_EQ(TextAfterFirstWord("\texpect x "), "x ");
    EXPECT_EQ(TextAfterFirstWord("expect"), "");
    EXPECT_EQ(TextAfterFirstWord("expect   "), "");
}

}  // namespace
