#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/mfc/cstring.h"
#include "platform/mfc/cstringlist.h"

namespace {

TEST(CString, FormatGrowsToAnyLength) {
    std::string strLong(100000, 'x');
    CString str;
    str.Format("[%s|%d|%5.2f]", strLong.c_str(), -42, 3.14159);
    EXPECT_EQ(std::string(str), "[" + strLong + "|-42| 3.14]");
    str.Format("%s", "");
    EXPECT_TRUE(str.IsEmpty());
}

TEST(CString, SlicesClampToTheString) {
    const CString str("abcdef");
    struct Case {
        CString got;
        const char* expected;
    } cases[] = {
        {str.Mid(2, 3), "cde"}, {str.Mid(4, 100), "ef"}, {str.Mid(6), ""},    {str.Mid(99, 2), ""},
        {str.Mid(-3, 2), "ab"}, {str.Mid(1, -1), ""},    {str.Left(99), "abcdef"}, {str.Left(-1), ""},
        {str.Right(2), "ef"},   {str.Right(99), "abcdef"}, {str.Right(-5), ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.got, c.expected);
}

TEST(CString, FindHonoursItsStartAndItsBounds) {
    const CString str("a,b,,c");
    EXPECT_EQ(str.Find(','), 1);
    EXPECT_EQ(str.Find(',', 2), 3);
    EXPECT_EQ(str.Find(",,"), 3);
    EXPECT_EQ(str.Find(',', 5), -1);
    EXPECT_EQ(str.Find(',', 6), -1);
    EXPECT_EQ(str.Find(',', 1000), -1);
    EXPECT_EQ(str.Find(',', -7), 1);
    EXPECT_EQ(str.Find("", 6), 6);
    EXPECT_EQ(str.Find("", 7), -1);
    EXPECT_EQ(str.ReverseFind(','), 4);
    EXPECT_EQ(str.ReverseFind('z'), -1);
}

TEST(CString, EditsOutsideTheStringAreClamped) {
    CString str("abcdef");
    EXPECT_EQ(str.Delete(4, 100), 4);
    EXPECT_STREQ(str, "abcd");
    EXPECT_EQ(str.Delete(10, 2), 4);
    EXPECT_EQ(str.Delete(-1, 1), 3);
    EXPECT_STREQ(str, "bcd");
    EXPECT_EQ(str.Insert(99, "!"), 4);
    EXPECT_EQ(str.Insert(-5, '<'), 5);
    EXPECT_STREQ(str, "<bcd!");
    EXPECT_EQ(str.GetAt(5), '\0');
    str.SetAt(5, 'x');
    EXPECT_STREQ(str, "<bcd!");
    EXPECT_EQ(str.Replace("", "x"), 0);
    EXPECT_EQ(str.Replace("bc", "BCBC"), 1);
    EXPECT_STREQ(str, "<BCBCd!");
}

TEST(CString, CompareNoCaseFoldsToLowerCase) {
    // Folding to lower case puts '_' (between the two alphabets) before letters.
    EXPECT_LT(CString("_").CompareNoCase("A"), 0);
    EXPECT_LT(CString("_").CompareNoCase("a"), 0);
    EXPECT_EQ(CString("KESTRA").CompareNoCase("kestra"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("ABCD"), 0);
    EXPECT_GT(CString("\xC3\xA9").CompareNoCase("z"), 0);  // bytes above 0x7F compare unsigned
    EXPECT_LT(CString("B").Compare("a"), 0);
}

TEST(CString, BufferWritesSetTheLength) {
    CString str("ab");
    char* p = str.GetBuffer(80);
    std::strcpy(p, "C:\\WINDOWS\\SYSTEM32");
    str.ReleaseBuffer();
    EXPECT_EQ(str.GetLength(), 19);
    p = str.GetBufferSetLength(3);
    p[2] = 'X';
    str.ReleaseBuffer(3);
    EXPECT_STREQ(str, "C:X");
}

TEST(CStringList, KeepsOrderAndPositions) {
    CStringList list;
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("b");
    list.AddHead("a");
    list.AddTail("");
    std::string strJoined;
    for (POSITION pos = list.GetHeadPosition(); pos;) strJoined += std::string(list.GetNext(pos)) + ";";
    EXPECT_EQ(strJoined, "a;b;;");
    EXPECT_EQ(list.GetCount(), 3);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
}

}  // namespace
