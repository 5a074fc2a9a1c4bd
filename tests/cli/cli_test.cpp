// corvane-cli as other tools drive it: its arguments, its one line on
// stdout, its exit status and its error line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::TempLibrary;

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Result RunProgram(const TempLibrary& scratch, const std::string& program, const std::string& args) {
    std::string command = Quote(program) + " " + args + " >" + Quote(scratch.Path("out.txt")) +
                          " 2>" + Quote(scratch.Path("err.txt")) + " </dev/null";
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, scratch.Read("out.txt"),
            scratch.Read("err.txt")};
}

Result Cli(const TempLibrary& scratch, const std::string& args) {
    return RunProgram(scratch, CORVANE_CLI, args);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    TempLibrary scratch;
    for (const char* args : {"", "frobnicate", "check --force", "check a b", "--nonsense"}) {
        Result result = Cli(scratch, args);
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_EQ(result.out, "") << args;
        EXPECT_NE(result.err.find("Usage: corvane-cli check"), std::string::npos) << args;
    }
    EXPECT_EQ(Cli(scratch, "--help").status, 0);
    Result version = Cli(scratch, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "corvane-cli 1.0\n");
}

TEST(Cli, CheckAndDeleteOnTheSampleLibrary) {
    TempLibrary scratch;
    const std::string library = scratch.Path("sample library");
    ASSERT_EQ(std::system((std::string(CORVANE_PREPARE_SAMPLE) + " " + Quote(library)).c_str()), 0);

    Result check = Cli(scratch, "check " + Quote(library));
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out, "Delete 3 older items\n");
    EXPECT_NE(check.err.find("Stock/Coaches/Old\n"), std::string::npos);
    EXPECT_EQ(check.err.substr(check.err.size() - 9), "Finished\n");
    const std::string report = scratch.Read("sample library/Corvane.htm");

    Result del = Cli(scratch, "check --delete " + Quote(library));
    EXPECT_EQ(del.status, 0) << del.err;
    EXPECT_EQ(del.out, "Delete 3 older items\n");
    EXPECT_NE(del.err.find("mk1 coach in Stock/Coaches/mk1_old.stk\n"), std::string::npos);
    EXPECT_EQ(scratch.Read("sample library/Corvane.htm"), report);
    EXPECT_TRUE(scratch.Exists("sample library/backup/Stock/Coaches/mk1_old.stk"));

    Result again = Cli(scratch, "check " + Quote(library));
    EXPECT_EQ(again.out, "Delete 0 older items\n");
}

TEST(Cli, RestoreUndoesTheDeleteOnTheSampleLibrary) {
    TempLibrary scratch;
    const std::string library = scratch.Path("sample library") + "/";
    ASSERT_EQ(std::system((std::string(CORVANE_PREPARE_SAMPLE) + " " + Quote(library)).c_str()), 0);
    ASSERT_EQ(Cli(scratch, "check " + Quote(library)).status, 0);
    const testing::Tree before = testing::TreeOf(library, true);
    const std::string report = scratch.Read("sample library/Corvane.htm");

    ASSERT_EQ(Cli(scratch, "check --delete " + Quote(library)).status, 0);
    ASSERT_NE(testing::TreeOf(library, true), before);
    Result restore = Cli(scratch, "restore " + Quote(library));
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(restore.err, "");
    EXPECT_NE(restore.out.find("\nRestored Stock/Coaches/mk1_old.stk from "
                               "backup/Stock/Coaches/mk1_old.stk\n"),
              std::string::npos)
        << restore.out;
    EXPECT_EQ(testing::TreeOf(library, true), before);
    EXPECT_EQ(scratch.Read("sample library/Corvane.htm"), report);

    Result again = Cli(scratch, "restore " + Quote(library));
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "Nothing to undo.\n");
    for (const char* args : {"restore a b", "restore --delete"}) {
        EXPECT_EQ(Cli(scratch, args).status, 2) << args;
    }
}

TEST(Cli, ErrorsExitWithOneAndNameTheFile) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Corvane.htm");
    Result result = Cli(scratch, "check " + Quote(scratch.Path("lib")));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "corvane-cli: cannot create \"" + scratch.Path("lib/Corvane.htm") +
                              "\": Is a directory\n");
}

TEST(Cli, StatusLinesCarryNoControlCharactersFromTheLibrary) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Stock/a\033[2Jb\nc");
    Result result = Cli(scratch, "check " + Quote(scratch.Path("lib")));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("\nStock/a?[2Jb?c\n"), std::string::npos) << result.err;
}

TEST(Cli, LibraryRootDefaultsToTheProgramsFolder) {
    TempLibrary scratch;
    scratch.Write("Stock/a.stk", "name coach\r\n");
    scratch.Write("Stock/b.stk", "name coach\r\n");
    std::filesystem::copy_file(CORVANE_CLI, scratch.Path("corvane-cli"));
    std::filesystem::permissions(scratch.Path("corvane-cli"), std::filesystem::perms::owner_all);
    Result result = RunProgram(scratch, scratch.Path("corvane-cli"), "check");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Delete 1 older items\n");
    EXPECT_TRUE(scratch.Exists("Corvane.htm"));
}

}  // namespace
}  // namespace corvane
