// corvane-cli as people and scripts drive it: its arguments, exit status,
// stdout and stderr, and that nothing is written into a folder that is not a
// library.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "commands/commands.h"
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

// Runs corvane-cli (or program, a shell command) in folder with args (shell
// words; "@/" stands for the scratch folder) and stdout to out (a file in the
// scratch folder when empty).
Result Cli(const TempLibrary& scratch, const std::string& folder, std::string args,
           const std::string& out = "", const std::string& program = CORVANE_CLI) {
    for (size_t at; (at = args.find("@/")) != std::string::npos;) {
        args.replace(at, 2, scratch.Root());
    }
    std::string command = "cd " + Quote(scratch.Path(folder)) + " && " + program + " " + args +
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
    const std::string busy =
        "Another Corvane command is working on the library \"@/lib\"; try again once it has "
        "finished.\n";
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
        {"check --json - --diagnostics - lib", 2,
         "corvane-cli: --json and --diagnostics cannot both write to standard output\n" + kSeeHelp},
        {"check -q -v lib", 2,
         "corvane-cli: --quiet and --verbose exclude each other\n" + kSeeHelp},
        {"check --jobs 0 lib", 2,
         "corvane-cli: --jobs: Value 0 not in range 1 to 1024\n" + kSeeHelp},
        {"check --jobs 2000 lib", 2,
         "corvane-cli: --jobs: Value 2000 not in range 1 to 1024\n" + kSeeHelp},
        {"--help", 0, "", "Checks the content library"},
        {"check --help", 0, "", "Check the library"},
        {"restore -h", 0, "", "Undo the latest delete"},
        {"--version", 0, "", "corvane-cli " CORVANE_VERSION "\n"},
        {"check none", 1, "corvane-cli: Cannot check \"@/none\": no such folder\n"},
        {"check --delete file", 1, "corvane-cli: Cannot check \"@/file\": not a folder\n"},
        {"check plain", 1, "corvane-cli: Cannot check \"@/plain\": " + categories},
        {"check -- --", 1, "corvane-cli: Cannot check \"@/--\": no such folder\n"},
        {"check", 1, "corvane-cli: Cannot check \"@\": " + categories},
        {"restore plain/", 1, "corvane-cli: Cannot check \"@/plain\": " + categories},
        // Another command (held here) is working on the library.
        {"check --delete lib", 1, "corvane-cli: " + busy},
        {"restore lib", 1, "corvane-cli: " + busy},
    };
    TempLibrary scratch;
    scratch.MakeFolder("lib/STOCK");
    scratch.MakeFolder("plain/Stock.stk");
    scratch.Write("file", "");
    const LibraryLock held(scratch.Path("lib/"));
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

// The sample library in scratch/lib; its summary, and the lines the delete
// adds.
void PrepareSample(const TempLibrary& scratch) {
    std::string prepare = CORVANE_PREPARE_SAMPLE " " + Quote(scratch.Path("lib"));
    ASSERT_EQ(std::system(prepare.c_str()), 0);
}
std::string SampleSummary(const TempLibrary& scratch) {
    return "Files read:         11\n"
           "Items read:         17\n"
           "Older duplicates:   3\n"
           "Syntax errors:      1\n"
           "Missing textures:   4\n"
           "Missing components: 3\n"
           "Report:             " +
           scratch.Path("lib/Corvane.htm") + "\n";
}
std::string SampleDiagnostics() {
    std::string bytes;
    platform::RealFileSystem().ReadFile(CORVANE_SAMPLE_DIAGNOSTICS, bytes);
    return bytes;
}
std::string DeleteSummary(const TempLibrary& scratch) {
    return "Items removed:      3\n"
           "Files changed:      3\n"
           "Backups:            " +
           scratch.Path("lib/backup/") + "\n";
}

TEST(Cli, SummaryOnStdoutProgressOnStderrOnlyWhenAskedFor) {
    TempLibrary scratch;
    PrepareSample(scratch);
    Result check = Cli(scratch, "", "check @/lib");
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, SampleSummary(scratch));
    EXPECT_EQ(check.err, "") << "a pipe gets nothing but errors";
    const std::string report = scratch.Read("lib/Corvane.htm");

    Result verbose = Cli(scratch, "lib", "check -v --delete");
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    const std::string summary = SampleSummary(scratch) + DeleteSummary(scratch);
    EXPECT_EQ(verbose.out.substr(0, summary.size()), summary);
    const std::string log = verbose.out.substr(summary.size());
    EXPECT_TRUE(log.starts_with("Log:                " + scratch.Path("lib/backup/delete-")) &&
                log.ends_with(".log\n"))
        << log;
    for (const char* line : {"Stock\n", "Stock/Coaches/Old\n", "OHLE\nFinished\n",
                             "mk1 coach in Stock/Coaches/mk1_old.stk\n"}) {
        EXPECT_NE(verbose.err.find(line), std::string::npos) << line << " in\n" << verbose.err;
    }
    EXPECT_EQ(verbose.err.substr(verbose.err.size() - 9), "Finished\n");
    EXPECT_EQ(scratch.Read("lib/Corvane.htm"), report);
    EXPECT_TRUE(scratch.Exists("lib/backup/Stock/Coaches/mk1_old.stk"));

    Result again = Cli(scratch, "", "check --quiet @/lib");
    EXPECT_NE(again.out.find("\nOlder duplicates:   0\n"), std::string::npos) << again.out;
    EXPECT_EQ(again.err, "");

    // Any number of jobs: the same summary, status texts and report.
    const std::string after = scratch.Read("lib/Corvane.htm");
    Result serial = Cli(scratch, "", "check -v --jobs 1 @/lib");
    EXPECT_EQ(serial.out, again.out);
    for (const char* jobs : {"2", "7"}) {
        Result run = Cli(scratch, "", "check -v --jobs " + std::string(jobs) + " @/lib");
        EXPECT_EQ(run.status, 0) << jobs;
        EXPECT_EQ(run.out, serial.out) << jobs;
        EXPECT_EQ(run.err, serial.err) << jobs;
        EXPECT_EQ(scratch.Read("lib/Corvane.htm"), after) << jobs;
    }
}

TEST(Cli, ErrorsOfTheRunExitWithOneAndNameTheFile) {
    TempLibrary scratch;
    scratch.MakeFolder("lib/Stock/a\033[2Jb\nc");
    scratch.MakeFolder("lib/Corvane.htm");
    Result result = Cli(scratch, "", "check -v @/lib");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "corvane-cli: Cannot create \"" + scratch.Path("lib/Corvane.htm") +
                              "\": Is a directory\n");
    std::filesystem::remove(scratch.Path("lib/Corvane.htm"));
    result = Cli(scratch, "", "check -v @/lib");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("\nStock/a?[2Jb?c\n"), std::string::npos)
        << "no control characters from the library: " << result.err;
}

// The rows of a report, each as its cells' texts with the markup taken off.
std::vector<std::vector<std::string>> ReportRows(const std::string& report) {
    static const std::regex row("<tr>([\\s\\S]*?)</tr>"), cell("<td[^>]*>([\\s\\S]*?)</td>");
    std::vector<std::vector<std::string>> rows;
    for (std::sregex_iterator r(report.begin(), report.end(), row), end; r != end; ++r) {
        std::string cells = (*r)[1];
        rows.emplace_back();
        for (std::sregex_iterator c(cells.begin(), cells.end(), cell); c != end; ++c) {
            std::string text = (*c)[1];
            for (auto [from, to] : {std::pair{"<[^>]*>", ""},
                                    {"&lt;", "<"},
                                    {"&gt;", ">"},
                                    {"&quot;", "\""},
                                    {"\r\n", ""},
                                    {"&amp;", "&"}}) {
                text = std::regex_replace(text, std::regex(from), to);
            }
            rows.back().push_back(text);
        }
    }
    return rows;
}

TEST(Cli, JsonOnStdoutHoldsWhatTheReportShowsEntryForEntry) {
    TempLibrary scratch;
    PrepareSample(scratch);
    const std::string library = scratch.Path("lib");
    Result result = Cli(scratch, "", "check --json - @/lib");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, SampleSummary(scratch)) << "the summary goes with the progress";
    const nlohmann::ordered_json json = nlohmann::ordered_json::parse(result.out);  // JSON alone

    std::vector<std::vector<std::string>> rows;
    for (const auto& category : json["categories"]) {
        rows.push_back({category["title"]});
        for (const auto& d : category["duplicates"]) {
            rows.push_back({d["name"], d["file"], d["earlier_file"]});
            EXPECT_TRUE(d["older"] == d["file"] || d["older"] == d["earlier_file"]);
        }
        for (const auto& e : category["syntax_errors"]) {
            rows.push_back({"Syntax", e["line"], library + "/" + std::string(e["file"])});
        }
        for (const auto& t : category["missing_textures"]) {
            rows.push_back({"Missing Texture", t["texture"], t["file"]});
        }
        for (const auto& c : category["missing_components"]) {
            std::string files;
            for (const auto& file : c["files"]) files += file;
            rows.push_back({"Missing Component", c["component"], files});
        }
    }
    EXPECT_EQ(rows, ReportRows(scratch.Read("lib/Corvane.htm")));
    EXPECT_EQ(json["older_items"].size(), 3u);
    EXPECT_EQ(json["library"], library + "/");

    // To files, named in the summary.
    Result toFile = Cli(scratch, "lib", "check --json f.json --diagnostics d.txt");
    EXPECT_EQ(toFile.out, SampleSummary(scratch) +
                              "JSON:               " + scratch.Path("lib/f.json") +
                              "\nDiagnostics:        " + scratch.Path("lib/d.txt") + "\n");
    EXPECT_EQ(scratch.Read("lib/f.json"), result.out);
    EXPECT_EQ(scratch.Read("lib/d.txt"), SampleDiagnostics());
}

// The diagnostics alone on stdout, and the exit status of --exit-code: 3 with
// report rows, 0 without; without the option 0 either way.
TEST(Cli, DiagnosticsOnStdoutAndTheExitStatusOfFindings) {
    TempLibrary scratch;
    PrepareSample(scratch);
    Result result = Cli(scratch, "", "check --exit-code --diagnostics - @/lib");
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(result.out, SampleDiagnostics());
    EXPECT_EQ(result.err, SampleSummary(scratch));
    EXPECT_EQ(Cli(scratch, "", "check -q --diagnostics - @/lib").status, 0);

    scratch.Write("clean/Stock/a.stk", "name coach\r\n");
    result = Cli(scratch, "clean", "check --exit-code --diagnostics -");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

// Real rights on the real disk: run as a user without rights to one folder
// (as nobody when the tests run as root, who may read anything).
TEST(Cli, AnUnreadableFolderEndsTheCheckWithItsName) {
    TempLibrary scratch;
    scratch.Write("lib/Stock/a.stk", "name coach\r\n");
    scratch.Write("lib/Stock/Locked/b.stk", "name coach\r\n");
    std::filesystem::copy_file(CORVANE_CLI, scratch.Path("corvane-cli"));
    namespace fs = std::filesystem;
    fs::permissions(scratch.Root(), fs::perms::all);
    fs::permissions(scratch.Path("lib"), fs::perms::all);
    fs::permissions(scratch.Path("corvane-cli"), fs::perms::all);
    fs::permissions(scratch.Path("lib/Stock/Locked"), fs::perms::none);
    const std::string asUser =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    Result result =
        Cli(scratch, "", "check @/lib", "", asUser + Quote(scratch.Path("corvane-cli")));
    fs::permissions(scratch.Path("lib/Stock/Locked"), fs::perms::owner_all);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string message =
        "Cannot list the folder \"" + scratch.Path("lib/Stock/Locked") + "\": Permission denied";
    EXPECT_NE(result.err.find("corvane-cli: " + message + "\n"), std::string::npos) << result.err;
    const std::string report = scratch.Read("lib/Corvane.htm");
    const std::string note = "<b>The check did not finish:</b> ";
    ASSERT_NE(report.find(note), std::string::npos) << report;
    EXPECT_EQ(report.substr(report.find(note) + note.size()),
              "Cannot list the folder &quot;" + scratch.Path("lib/Stock/Locked") +
                  "&quot;: Permission denied</font><br></font>");
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
    scratch.Write("lib/Stock/a.stk", "skin x\r\n");  // a finding: still 1, not 3
    for (const char* args : {"check @/lib", "check --exit-code --diagnostics - @/lib"}) {
        Result result = Cli(scratch, "", args, "/dev/full");
        EXPECT_EQ(result.status, 1) << args;
        EXPECT_EQ(result.err,
                  "corvane-cli: Cannot write to standard output: No space left on device\n");
    }
}

TEST(Cli, RestoreUndoesTheDeleteOnTheSampleLibrary) {
    TempLibrary scratch;
    PrepareSample(scratch);
    const std::string library = scratch.Path("lib/");
    ASSERT_EQ(Cli(scratch, "lib", "check -q").status, 0);
    const testing::Tree before = testing::TreeOf(library, true);
    const std::string report = scratch.Read("lib/Corvane.htm");

    ASSERT_EQ(Cli(scratch, "lib", "check -q --delete").status, 0);
    ASSERT_NE(testing::TreeOf(library, true), before);
    Result restore = Cli(scratch, "", "restore @/lib");
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(restore.err, "");
    EXPECT_NE(restore.out.find("\nRestored Stock/Coaches/mk1_old.stk from "
                               "backup/Stock/Coaches/mk1_old.stk\n"),
              std::string::npos)
        << restore.out;
    EXPECT_EQ(testing::TreeOf(library, true), before);
    EXPECT_EQ(scratch.Read("lib/Corvane.htm"), report);

    Result again = Cli(scratch, "lib", "restore");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "Nothing to undo.\n");
    for (const char* args : {"restore a b", "restore --delete"}) {
        EXPECT_EQ(Cli(scratch, "lib", args).status, 2) << args;
    }
}

}  // namespace
}  // namespace corvane
