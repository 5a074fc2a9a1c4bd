// corvane-cli as other tools drive it: its arguments, its one line on
// stdout, its exit status and its error line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::TempLibrary;

using Result = testing::ProgramResult;
using testing::Native;

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

Result Cli(const TempLibrary& scratch, std::vector<std::string> args) {
    return testing::RunProgram(testing::HostPath(CORVANE_CLI), args, scratch);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    TempLibrary scratch;
    for (const char* args : {"", "frobnicate", "check --force", "check a b", "--nonsense"}) {
        Result result = Cli(scratch, Words(args));
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_EQ(result.out, "") << args;
        EXPECT_NE(result.err.find("Usage: corvane-cli check"), std::string::npos) << args;
    }
    EXPECT_EQ(Cli(scratch, {"--help"}).status, 0);
    Result version = Cli(scratch, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "corvane-cli 1.0\n");
}

TEST(Cli, CheckAndDeleteOnTheSampleLibrary) {
    TempLibrary scratch;
    const std::string library = scratch.Path("sample library");
    testing::PrepareSample(CORVANE_SAMPLE, library);

    Result check = Cli(scratch, {"check", library});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out, "Delete 3 older items\n");
    EXPECT_NE(check.err.find(Native("Stock/Coaches/Old\n")), std::string::npos);
    EXPECT_EQ(check.err.substr(check.err.size() - 9), "Finished\n");
    const std::string report = scratch.Read("sample library/Corvane.htm");

    Result del = Cli(scratch, {"check", "--delete", library});
    EXPECT_EQ(del.status, 0) << del.err;
    EXPECT_EQ(del.out, "Delete 3 older items\n");
    EXPECT_NE(del.err.find(Native("mk1 coach in Stock/Coaches/mk1_old.stk\n")), std::string::npos);
    EXPECT_EQ(scratch.Read("sample library/Corvane.htm"), report);
    EXPECT_TRUE(scratch.Exists("sample library/backup/Stock/Coaches/mk1_old.stk"));

    Result again = Cli(scratch, {"check", library});
    EXPECT_EQ(again.out, "Delete 0 older items\n");
}

TEST(Cli, ErrorsExitWithOneAndNameTheFile) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Corvane.htm");
    Result result = Cli(scratch, {"check", scratch.Path("lib")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "corvane-cli: cannot create \"" + scratch.Path("lib/Corvane.htm") +
                              "\": Is a directory\n");
}

#ifndef _WIN32  // Windows allows no control character in a name
TEST(Cli, StatusLinesCarryNoControlCharactersFromTheLibrary) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Stock/a\033[2Jb\nc");
    Result result = Cli(scratch, {"check", scratch.Path("lib")});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("\nStock/a?[2Jb?c\n"), std::string::npos) << result.err;
}
#endif

TEST(Cli, LibraryRootDefaultsToTheProgramsFolder) {
    TempLibrary scratch;
    scratch.Write("Stock/a.stk", "name coach\r\n");
    scratch.Write("Stock/b.stk", "name coach\r\n");
    const std::string copy = scratch.Path(std::filesystem::path(CORVANE_CLI).filename().string());
    std::filesystem::copy_file(testing::HostPath(CORVANE_CLI), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    Result result = testing::RunProgram(copy, {"check"}, scratch);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Delete 1 older items\n");
    EXPECT_TRUE(scratch.Exists("Corvane.htm"));
}

}  // namespace
}  // namespace corvane
