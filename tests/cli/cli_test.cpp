// corvane-cli as other tools drive it: its arguments, its one line on
// stdout, its exit status and its error line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

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

// prefix: a command that runs the program, such as one that drops rights.
Result RunProgram(const TempLibrary& scratch, const std::string& program, const std::string& args,
                  const std::string& prefix = "") {
    std::string command = prefix + Quote(program) + " " + args + " >" +
                          Quote(scratch.Path("out.txt")) + " 2>" + Quote(scratch.Path("err.txt")) +
                          " </dev/null";
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, scratch.Read("out.txt"),
            scratch.Read("err.txt")};
}

Result Cli(const TempLibrary& scratch, const std::string& args) {
    return RunProgram(scratch, CORVANE_CLI, args);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    TempLibrary scratch;
    for (const char* args : {"", "frobnicate", "check --force", "check a b", "--nonsense",
                             "check --json", "check --jobs", "check --jobs 0", "check --jobs -1",
                             "check --jobs 2x", "check --jobs 99999999999"}) {
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
    const std::string after = scratch.Read("sample library/Corvane.htm");
    for (const char* jobs : {"1", "2", "7"}) {
        Result run = Cli(scratch, "check --jobs " + std::string(jobs) + " " + Quote(library));
        EXPECT_EQ(run.status, 0) << jobs;
        EXPECT_EQ(run.err, again.err) << jobs;
        EXPECT_EQ(scratch.Read("sample library/Corvane.htm"), after) << jobs;
    }
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
    const std::string library = scratch.Path("lib");
    ASSERT_EQ(std::system((std::string(CORVANE_PREPARE_SAMPLE) + " " + Quote(library)).c_str()), 0);
    Result result = Cli(scratch, "check --json - " + Quote(library));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("Delete 3 older items\n"), std::string::npos);
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

    // To a file, with stdout as without --json.
    Result toFile =
        Cli(scratch, "check --json " + Quote(scratch.Path("f.json")) + " " + Quote(library));
    EXPECT_EQ(toFile.out, "Delete 3 older items\n");
    EXPECT_EQ(scratch.Read("f.json"), result.out);
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
    Result result = RunProgram(scratch, scratch.Path("corvane-cli"),
                               "check " + Quote(scratch.Path("lib")), asUser);
    fs::permissions(scratch.Path("lib/Stock/Locked"), fs::perms::owner_all);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string message =
        "cannot list the folder \"" + scratch.Path("lib/Stock/Locked") + "\": Permission denied";
    EXPECT_NE(result.err.find("corvane-cli: " + message + "\n"), std::string::npos) << result.err;
    const std::string report = scratch.Read("lib/Corvane.htm");
    const std::string note = "<b>The check did not finish:</b> ";
    ASSERT_NE(report.find(note), std::string::npos) << report;
    EXPECT_EQ(report.substr(report.find(note) + note.size()),
              "cannot list the folder &quot;" + scratch.Path("lib/Stock/Locked") +
                  "&quot;: Permission denied</font><br></font>");
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
