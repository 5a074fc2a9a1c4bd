// The byte-string rules and the item stamp that the audit relies on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "audit/item_stamp.h"
#include "platform/files.h"
#include "tests/support/test_library.h"
#include "text/text.h"

namespace corvane::platform {
namespace {

using namespace corvane::text;

TEST(Text, LinesEndAtLineFeedAndKeepEveryOtherByte) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"a\rb\n", {"a\rb"}},
        {"a\r\r\n", {"a\r"}},
        {"\r", {"\r"}},
        {std::string("a\0b\n\xff", 5), {std::string("a\0b", 3), "\xff"}},
        {"\n\n", {"", ""}},
    };
    for (const Case& c : cases) {
        LineReader reader(c.bytes);
        std::vector<std::string> lines;
        std::string_view line;
        while (reader.Next(line)) lines.emplace_back(line);
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(Text, TrimAndCaseTouchOnlyTheirOwnBytes) {
    EXPECT_EQ(Trim(" \t\v\f\r\nab c\r\n "), "ab c");
    EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // no-break space is no white space
    EXPECT_EQ(ToLower("AbC\xc9\xe9[Z]"), "abc\xc9\xe9[z]");
    EXPECT_TRUE(EqualsNoCase("Coach A", "cOACH a"));
    EXPECT_FALSE(EqualsNoCase("\xc9", "\xe9"));
    EXPECT_TRUE(EndsWithNoCase("A.STK", ".stk"));
    EXPECT_FALSE(EndsWithNoCase("a.stk.bak", ".stk"));
    std::string text = "[d3d]a[d3d][d3d]b[d3d";
    EraseAll(text, "[d3d]");
    EXPECT_EQ(text, "ab[d3d");
}

// The local time a file was given, to the minute, in winter and in summer:
// each date under its own rules, not today's.
TEST(ItemStamp, IsTheLocalTimeAFileWasGivenToTheMinute) {
    testing::TempLibrary library;
    for (const char* stamp : {"2010-01-15 09:05", "2010-07-15 09:05", "1999-12-31 23:59"}) {
        library.Write("a.stk", "x", stamp);
        std::string bytes, expected(stamp);
        std::int64_t time = RealFileSystem().ReadFile(library.Path("a.stk"), bytes).lastWriteTime;
        std::erase_if(expected, [](char c) { return c == '-' || c == ' ' || c == ':'; });
        EXPECT_EQ(ItemStamp(time + 59), expected);
    }
#ifndef _WIN32
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(ItemStamp(1267607159), "201003031005");  // 2010-03-03 09:05:59 UTC
    saved ? ::setenv("TZ", previous.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
#endif
}

}  // namespace
}  // namespace corvane::platform
