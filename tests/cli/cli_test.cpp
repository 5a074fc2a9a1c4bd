// corvane-cli as people and scripts drive it: its arguments, exit status,
// stdout and stderr, and that nothing is written into a folder that is not a
// library.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_library.h"
#include "version.h"

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

// Runs corvane-cli in folder with args (shell words; "@/" stands for the
// scratch folder) and stdout to out (a file in the scratch folder when
// empty).
Result Cli(const TempLibrary& scratch, const std::string& folder, std::string args,
           const std::string& out = "") {
    for (size_t at; (at = args.find("@/")) != std::string::npos;) {
        args.replace(at, 2, scratch.Root());
    }
    std::string command = "cd " + Quote(scratch.Path(folder)) + " && " CORVANE_CLI " " + args +
                          " >" + (out.empty() ? Quote(scratch.Path("out.txt")) : out) + " 2>" +
                          Quote(scratch.Path("err.txt")) + " </dev/null";
    int raw = std::system(command.c_str());
    Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", scratch.Read("err.txt")};
    if (out.empty()) result.out = scratch.Read("out.txt");
    std::filesystem::remove(scratch.Path("out.txt"));
    std::filesystem::remove(scratch.Path("err.txt"));
    return result;
}

const std::string kSeeHelp = "Run 'corvane-cli --help' for more information.\n";

TEST(Cli, ArgumentsAndRootsThatEndBeforeAnythingIsWritten) {
    struct Case {
        const char* args;
        int status;
        std::string err;  // exactly, with "@/" for the scratch folder
        std::string outStart = "";
    };
    const std::string categories =
        "it holds none of the category folders Stock, Scenery, Signals, Track and OHLE\n";
    const Case cases[] = {
        {"", 2, "corvane-cli: no command given\n" + kSeeHelp},
        {"frobnicate", 2, "corvane-cli: unknown command 'frobnicate'\n" + kSeeHelp},
        {"check --force lib", 2,
         "corvane-cli: The following argument was not expected: --force\n" + kSeeHelp},
        {"check lib lib", 2,
         "corvane-cli: The following argument was not expected: lib\n" + kSeeHelp},
        {"check ''", 2, "corvane-cli: LIBRARY_ROOT: must not be empty\n" + kSeeHelp},
        {"restore ''", 2, "corvane-cli: LIBRARY_ROOT: must not be empty\n" + kSeeHelp},
        {"check --json '' lib", 2, "corvane-cli: --json: must not be empty\n" + kSeeHelp},
        {"check -q -v lib", 2,
         "corvane-cli: --quiet and --verbose exclude each other\n" + kSeeHelp},
        {"--help", 0, "", "Checks the content library"},
        {"check --help", 0, "", "Check the library"},
        {"restore -h", 0, "", "Put back"},
        {"--version", 0, "", "corvane-cli " CORVANE_VERSION "\n"},
        {"check none", 1, "corvane-cli: cannot check \"@/none\": no such folder\n"},
        {"check --delete file", 1, "corvane-cli: cannot check \"@/file\": not a folder\n"},
        {"check plain", 1, "corvane-cli: cannot check \"@/plain\": " + categories},
        {"check -- --", 1, "corvane-cli: cannot check \"@/--\": no such folder\n"},
        {"check", 1, "corvane-cli: cannot check \"@\": " + categories},
        {"restore plain/", 1, "corvane-cli: cannot check \"@/plain\": " + categories},
    };
    TempLibrary scratch;
    scratch.MakeFolder("lib/STOCK");
    scratch.MakeFolder("plain/Stock.stk");
    scratch.Write("file", "");
    const std::vector<std::string> before = scratch.Files();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Result result = Cli(scratch, "", c.args);
        EXPECT_EQ(result.status, c.status);
        std::string err = c.err;
        for (size_t at; (at = err.find("@")) != std::string::npos;) {
            err.replace(at, 1, scratch.Root().substr(0, scratch.Root().size() - 1));
        }
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart);
        if (c.outStart.empty()) {
            EXPECT_EQ(result.out, "");
        }
        EXPECT_EQ(scratch.Files(), before) << "written into the scratch folder";
    }
}

TEST(Cli, CheckWithoutRootWorksOnTheCurrentFolder) {
    TempLibrary scratch;
    scratch.Write("lib/Stock/a.stk", "name coach\r\n");
    Result result = Cli(scratch, "lib", "check");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(scratch.Exists("lib/Corvane.htm"));
}

TEST(Cli, FailedWriteToStdoutIsAnError) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Stock");
    Result result = Cli(scratch, "", "check @/lib", "/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "corvane-cli: cannot write to standard output: No space left on device\n");
}

}  // namespace
}  // namespace corvane
