// corvane-cli.exe under Wine: the report of the seven-line example byte for
// byte, with the separator of Windows, and a check and delete of the sample
// library. (The console tool's other cases run on POSIX, in tests/cli.)
#include <gtest/gtest.h>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

testing::ProgramResult Cli(const TempLibrary& scratch, const std::vector<std::string>& args) {
    return testing::RunProgram(testing::HostPath(CORVANE_CLI), args, scratch);
}

TEST(WindowsCli, TwoCopiesOfAnItemGiveTheSevenLinesWithBackslashes) {
    TempLibrary scratch;
    scratch.Write("lib/Stock/a.stk", CrLf({"name coach", "[end]"}), "2010-03-03 09:05");
    scratch.Write("lib/Stock/b.stk", CrLf({"name coach", "[end]"}), "2012-01-01 10:00");
    testing::ProgramResult result = Cli(scratch, {"check", scratch.Path("lib")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(scratch.Read("lib/Corvane.htm"),
              "<h1>Corvane</h1>\r\n"
              "<font face=\"arial narrow\"><table><tr><td colspan=\"3\"><h2>Stock</h2>\r\n"
              "</td></tr><tr><td>coach</td><td>Stock\\b.stk</td><td><font color=\"red\">"
              "Stock\\a.stk</font></td></tr><tr><td colspan=\"3\"><h2>Scenery</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>Signals</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>Track</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>OHLE</h2>\r\n"
              "</td></tr></table><font color=\"red\">Red file is <b>older</b></font><br></font>");
}

TEST(WindowsCli, CheckDeleteAndRestoreOnTheSampleLibrary) {
    TempLibrary scratch;
    testing::PrepareSample(CORVANE_SAMPLE, scratch.Path("sample library"));
    const std::string library = scratch.Path("sample library");
    const testing::Tree original = testing::TreeOf(library, true);
    testing::ProgramResult check = Cli(scratch, {"check", library});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("Older duplicates:   3\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Report:             " + library + "\\Corvane.htm\n"),
              std::string::npos)
        << check.out;

    testing::ProgramResult del = Cli(scratch, {"check", "--delete", library});
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_NE(del.out.find("Items removed:      3\n"), std::string::npos) << del.out;
    EXPECT_TRUE(scratch.Exists("sample library/backup/Stock/Coaches/mk1_old.stk"));
    EXPECT_FALSE(scratch.Exists("sample library/Stock/Coaches/mk1_old.stk"));
    // A second delete takes the rest of walls.stc, whose first backup moves
    // aside; two restores give back the library, bytes and times.
    const testing::Tree afterFirst = testing::TreeOf(library, true);
    // (Newer than walls.stc, which the first delete rewrote.)
    scratch.Write("sample library/Scenery/Walls/walls_v3.stc",
                  testing::CrLf({"name Wall2", "[end]"}), "2030-01-01 00:00");
    const testing::Tree beforeSecond = testing::TreeOf(library, true);
    ASSERT_EQ(Cli(scratch, {"check", "--delete", library}).status, 0);
    EXPECT_FALSE(scratch.Exists("sample library/Scenery/Walls/walls.stc"));
    for (const testing::Tree* expected : {&beforeSecond, &original}) {
        testing::ProgramResult restore = Cli(scratch, {"restore", library});
        EXPECT_EQ(restore.status, 0) << restore.err;
        EXPECT_EQ(restore.out.find('/'), std::string::npos) << restore.out;
        testing::Tree now = testing::TreeOf(library, true);
        if (expected == &original) now.erase("Scenery/Walls/walls_v3.stc");
        EXPECT_EQ(now, *expected);
    }
    EXPECT_NE(afterFirst, original);

    // Errors name the file, in the words of the POSIX build.
    scratch.MakeFolder("lib/Stock");
    scratch.MakeFolder("lib/Corvane.htm");
    testing::ProgramResult failed = Cli(scratch, {"check", scratch.Path("lib")});
    EXPECT_EQ(failed.status, 1);
    // (Built up step by step: GCC 12 warns wrongly on "..." + a temporary.)
    std::string named = "\"";
    named += scratch.Path("lib/Corvane.htm");
    named += "\": Is a directory";
    EXPECT_NE(failed.err.find(named), std::string::npos) << failed.err;
}

}  // namespace
}  // namespace corvane
