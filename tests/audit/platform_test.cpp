// The byte-string rules and the platform layer's file rules that the audit relies on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/files.h"
#include "platform/system.h"
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

TEST(Platform, ItemStampIsTheLocalTimeAFileWasGiven) {
    // In winter and in summer: each date under its own rules, not today's.
    testing::TempLibrary library;
    for (const char* stamp : {"2010-01-15 09:05", "2010-07-15 09:05", "1999-12-31 23:59"}) {
        library.Write("a.stk", "x", stamp);
        std::string bytes;
        std::int64_t time = RealFileSystem().ReadFile(library.Path("a.stk"), bytes).lastWriteTime;
        std::string expected(stamp);
        std::erase_if(expected, [](char c) { return c == '-' || c == ' ' || c == ':'; });
        EXPECT_EQ(ItemStamp(time), expected);
    }
}

#ifndef _WIN32
TEST(Platform, ItemStampIsLocalTimeToTheMinute) {
    const char* saved = std::getenv("TZ");
    std::string previous = saved ? saved : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(ItemStamp(1267607159), "201003030905");  // 2010-03-03 09:05:59
    EXPECT_EQ(ItemStamp(1267607101), "201003030905");
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(ItemStamp(1267607159), "201003031005");
    if (saved) {
        ::setenv("TZ", previous.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}
#endif

TEST(Platform, FailedOperationsNameTheFile) {
#ifdef _WIN32
    GTEST_SKIP() << "links and POSIX paths; not yet ported to Windows";
#endif
    testing::TempLibrary library;
    FileSystem& fs = RealFileSystem();
    std::string missing = library.Path("no/such.stk");
    std::string bytes;
    try {
        fs.ReadFile(missing, bytes);
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open for reading \"" + missing + "\": No such file or directory");
    }
    library.MakeFolder("folder.stk");
    EXPECT_THROW(fs.ReadFile(library.Path("folder.stk"), bytes), FileError);
    EXPECT_THROW(fs.Create(missing), FileError);
    library.Write("file", "x");
    std::unique_ptr<ContainedTree> tree = fs.OpenTree(library.Root());
    EXPECT_THROW(tree->MakeFolders("file"), FileError);
    EXPECT_NO_THROW(tree->MakeFolders("folder.stk"));
    // Where no folder stands there is nothing to list; that is no error.
    std::filesystem::create_symlink("nowhere", library.Path("dangling"));
    for (const char* none : {"no/such", "file", "dangling"}) {
        EXPECT_TRUE(fs.ListFolder(library.Path(none)).empty()) << none;
    }
}

}  // namespace
}  // namespace corvane::platform
