// corvane-cli as people and scripts drive it, on both systems: its arguments,
// exit status, stdout and stderr, and the sample library checked, its older
// items deleted and the deletes undone; its progress lines on stderr.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/console_progress.h"
#include "commands/commands.h"
#include "tests/support/test_library.h"
#include "version.h"

namespace corvane {
namespace {

using testing::Native;
using testing::ProgramResult;
using testing::TempLibrary;

// The path of relative in the scratch folder, without a trailing separator.
std::string At(const TempLibrary& scratch, const std::string& relative) {
    return platform::WithoutTrailingSeparator(scratch.Path(relative));
}

// Runs corvane-cli in folder (of the scratch folder) with args split at
// spaces: "''" is an empty argument, "@x" the path of x in the scratch folder.
ProgramResult Cli(const TempLibrary& scratch, const std::string& folder, const std::string& args) {
    std::vector<std::string> words;
    std::istringstream split(args);
    for (std::string word; split >> word;) {
        words.push_back(word == "''" ? "" : word[0] == '@' ? At(scratch, word.substr(1)) : word);
    }
    return testing::RunProgram(CORVANE_CLI, words, scratch.Path(folder));
}

TEST(Cli, ArgumentsAndRootsThatEndBeforeAnythingIsWritten) {
    // Status 0: stdout holds says; 2: stderr names says (when CLI11 does not
    // word it) and points to --help; 1: stderr is says.
    struct Case {
        const char* args;
        int status;
        std::string says;
    };
    TempLibrary scratch;
    auto cannot = [&](const char* path, const char* why) {
        return "Cannot check \"" + At(scratch, path) + "\": " + why;
    };
    const char* notALibrary =
        "it holds none of the category folders Stock, Scenery, Signals, Track and OHLE";
    const std::string busy = LibraryBusyText(scratch.Path("lib/"));
    const Case cases[] = {
        {"", 2, "no command given"},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"check ''", 2, "must not be empty"},
        {"restore ''", 2, "must not be empty"},
        {"restore --delete", 2, ""},
        {"check --json '' lib", 2, "must not be empty"},
        {"check --json - --diagnostics - lib", 2,
         "--json and --diagnostics cannot both write to standard output"},
        {"check -q -v lib", 2, "--quiet and --verbose exclude each other"},
        {"check --jobs 0 lib", 2, ""},
        {"check --jobs 2000 lib", 2, ""},
        {"--help", 0, "Checks the content library"},
        {"--version", 0, "corvane-cli " CORVANE_VERSION "\n"},
        {"check @none", 1, cannot("none", "no such folder")},
        {"check --delete @file", 1, cannot("file", "not a folder")},
        {"check @plain", 1, cannot("plain", notALibrary)},
        {"check -- --", 1, cannot("--", "no such folder")},
        {"check", 1, cannot("", notALibrary)},
        {"restore plain", 1, cannot("plain", notALibrary)},
        // Another command (held here) is working on the library.
        {"check --delete @lib", 1, busy},
        {"restore @lib", 1, busy},
    };
    scratch.MakeFolder("lib/STOCK");
    scratch.MakeFolder("plain/Stock.stk");
    scratch.Write("file", "");
    const LibraryLock held(scratch.Path("lib/"));
    const std::vector<std::string> before = scratch.Files();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const ProgramResult result = Cli(scratch, "", c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(c.status ? result.out : result.err, "");
        if (c.status == 0) {
            EXPECT_NE(result.out.find(c.says), std::string::npos) << result.out;
        } else if (c.status == 1) {
            EXPECT_EQ(result.err, "corvane-cli: " + c.says + "\n");
        } else {
            EXPECT_TRUE(result.err.starts_with("corvane-cli: ") &&
                        result.err.find(c.says) != std::string::npos &&
                        result.err.ends_with("Run 'corvane-cli --help' for more information.\n"))
                << result.err;
        }
        EXPECT_EQ(scratch.Files(), before) << "written into the scratch folder";
    }
}

// What check says of the sample library in scratch/lib with older items left.
std::string Summary(const TempLibrary& scratch, int older) {
    return "Files read:         11\nItems read:         17\nOlder duplicates:   " +
           std::to_string(older) +
           "\nSyntax errors:      1\nMissing textures:   4\nMissing components: 3\n"
           "Report:             " +
           scratch.Path("lib/Corvane.htm") + "\n";
}

TEST(Cli, CheckOutputsDeleteAndRestoreOfTheSampleLibrary) {
    TempLibrary scratch;
    testing::PrepareSample(scratch.Path("lib"));
    const testing::Tree original = testing::TreeOf(scratch.Path("lib/"), true);
    const ProgramResult check = Cli(scratch, "", "check @lib");
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.out, Summary(scratch, 3));
    EXPECT_EQ(check.err, "") << "a pipe gets nothing but errors";
    const std::string report = scratch.Read("lib/Corvane.htm");

    // The JSON or the diagnostics alone on stdout (the result then on stderr),
    // or in files named in the result; --exit-code gives 3 when the report has
    // rows, 0 when it has none. (What they hold: tests/report.)
    const ProgramResult json = Cli(scratch, "", "check --json - @lib");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.err, Summary(scratch, 3));
    EXPECT_EQ(nlohmann::json::parse(json.out)["older_items"].size(), 3u);

    const ProgramResult diagnostics = Cli(scratch, "", "check --exit-code --diagnostics - @lib");
    EXPECT_EQ(diagnostics.status, 3);
    EXPECT_EQ(diagnostics.err, Summary(scratch, 3));
    EXPECT_EQ(diagnostics.out.substr(0, 13), Native("Stock/Coaches"));
    EXPECT_EQ(Cli(scratch, "", "check -q --diagnostics - @lib").status, 0);

    const ProgramResult files = Cli(scratch, "", "check --json f.json --diagnostics d.txt lib");
    EXPECT_EQ(files.out, Summary(scratch, 3) + "JSON:               " + scratch.Path("f.json") +
                             "\nDiagnostics:        " + scratch.Path("d.txt") + "\n");
    EXPECT_EQ(scratch.Read("f.json"), json.out);
    EXPECT_EQ(scratch.Read("d.txt"), diagnostics.out);

    scratch.Write("clean/Stock/a.stk", "name coach\r\n");
    const ProgramResult clean = Cli(scratch, "clean", "check --exit-code --diagnostics -");
    EXPECT_TRUE(clean.status == 0 && clean.out.empty()) << clean.err;

    // In the library, without naming it; every status text on stderr.
    const ProgramResult deleted = Cli(scratch, "lib", "check -v --delete");
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    const std::string summary = Summary(scratch, 3) +
                                "Items removed:      3\nFiles changed:      3\n"
                                "Backups:            " +
                                scratch.Path("lib/backup/") +
                                "\nLog:                " + scratch.Path("lib/backup/delete-");
    EXPECT_TRUE(deleted.out.starts_with(summary) && deleted.out.ends_with(".log\n")) << deleted.out;
    for (const std::string line : {"Stock\n", "Stock/Coaches/Old\n", "OHLE\nFinished\n",
                                   "mk1 coach in Stock/Coaches/mk1_old.stk\n"}) {
        EXPECT_NE(deleted.err.find(Native(line)), std::string::npos) << line << deleted.err;
    }
    EXPECT_TRUE(deleted.err.ends_with("\nFinished\n")) << deleted.err;
    EXPECT_EQ(scratch.Read("lib/Corvane.htm"), report);
    // (Every number of jobs gives the same outcome: tests/pipeline.)
    const ProgramResult again = Cli(scratch, "", "check --jobs 7 @lib");
    EXPECT_NE(again.out.find("\nOlder duplicates:   0\n"), std::string::npos) << again.out;

    // The restore gives back the library, bytes and times; a second has
    // nothing to undo. (Restores one delete after another: tests/cleanup.)
    const ProgramResult restore = Cli(scratch, "lib", "restore");
    EXPECT_TRUE(restore.status == 0 && restore.err.empty()) << restore.err;
    EXPECT_NE(restore.out.find(Native("\nRestored Scenery/Walls/walls.stc from backup/Scenery/")),
              std::string::npos)
        << restore.out;
    EXPECT_EQ(testing::TreeOf(scratch.Path("lib/"), true), original);
    EXPECT_EQ(Cli(scratch, "", "restore @lib").out, "Nothing to undo.\n");
}

// A command that fails once it has begun ends with status 1 and names the
// file on stderr; a report that cannot be written stops the check before it
// walks the library.
TEST(Cli, FailuresOfTheRunNameTheFile) {
    TempLibrary scratch;
    scratch.Write("lib/Stock/a.stk", "skin x\r\n");  // a report row: still 1, not 3
    scratch.MakeFolder("lib/Corvane.htm");
    ProgramResult result = Cli(scratch, "", "check -v @lib");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("corvane-cli: Cannot create \"" +
                                       scratch.Path("lib/Corvane.htm") + "\": ") &&
                result.err.find('\n') == result.err.size() - 1)
        << result.err;
    std::filesystem::remove(scratch.Path("lib/Corvane.htm"));
#ifndef _WIN32  // a full device, a POSIX shell, and rights a user cannot get round
    for (const char* args : {" check ", " check --exit-code --diagnostics - "}) {
        result = testing::RunProgram("/bin/sh", {"-c", CORVANE_CLI + std::string(args) +
                                                           At(scratch, "lib") + " >/dev/full"});
        EXPECT_EQ(result.status, 1) << args;
        EXPECT_EQ(result.err,
                  "corvane-cli: Cannot write to standard output: No space left on device\n");
    }
    // Real rights on the real disk: a folder the user may not list (run as
    // nobody when the tests run as root, who may list anything).
    namespace fs = std::filesystem;
    scratch.MakeFolder("lib/Stock/Locked");
    fs::copy_file(CORVANE_CLI, scratch.Path("corvane-cli"));
    for (const char* path : {"", "lib", "corvane-cli"}) {
        fs::permissions(scratch.Path(path), fs::perms::all);
    }
    fs::permissions(scratch.Path("lib/Stock/Locked"), fs::perms::none);
    const bool root = ::geteuid() == 0;
    std::vector<std::string> args = {scratch.Path("corvane-cli"), "check", At(scratch, "lib")};
    if (root) args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
    result = testing::RunProgram(root ? "setpriv" : args[0], {args.begin() + !root, args.end()});
    fs::permissions(scratch.Path("lib/Stock/Locked"), fs::perms::owner_all);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "corvane-cli: Cannot list the folder \"" +
                              At(scratch, "lib/Stock/Locked") + "\": Permission denied\n");
#endif
}

// The live line and the log lines written to stderr, on a clock the test moves.
TEST(ConsoleProgress, WhatEachModeWrites) {
    using Mode = cli::ConsoleProgress::Mode;
    struct Case {
        const char* name;
        Mode mode;
        unsigned columns;
        // Steps apart by spaces: "+N" waits N ms, "#F,I" counts F files and I
        // items, "!" clears, anything else is a status text.
        const char* steps;
        std::string written;
    };
    const std::string erase = "\r\033[K", none = "0:00  0 files  0 items  ";
    const Case cases[] = {
        {"live line: first text at once, then at most every 100 ms", Mode::kLine, 80,
         "Stock #1,5 +99 Stock/A +1 #2,9 +65000 Track !",
         erase + none + "Stock" + erase + "0:00  2 files  9 items  Stock/A" + erase +
             "1:05  2 files  9 items  Track" + erase},
        {"cleared line comes back with the next change", Mode::kLine, 80, "a ! b ! !",
         erase + none + "a" + erase + erase + none + "b" + erase},
        {"nothing shown, nothing to clear", Mode::kLine, 80, "!", ""},
        {"cut one column short of the width, not inside a character", Mode::kLine, 32,
         "Stock/\xc3\xa9\xc3\xa9\xc3\xa9/x", erase + none + "Stock/"},
        {"control characters from the library shown as ?", Mode::kLine, 0, "a\033[2Jb\nc\x7f",
         erase + none + "a?[2Jb?c?"},
        {"log lines: each new text once, no counts, nothing to clear", Mode::kLines, 80,
         "Stock #1,1 Stock a\tb Stock !", "Stock\na?b\nStock\n"},
        {"no control sequences: the last line's rest overwritten, counted in characters",
         Mode::kPlainLine, 80, "Stock/\xc3\xa9t\xc3\xa9 +100 Track !",
         "\r" + none + "Stock/\xc3\xa9t\xc3\xa9\r" + none + "Track    \r" + std::string(29, ' ') +
             "\r"},
        {"silent", Mode::kSilent, 80, "Stock #1,1 !", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::chrono::steady_clock::time_point now{};
        std::string written;
        cli::ConsoleProgress progress(
            c.mode, c.columns, [&](std::string_view text) { written += text; },
            [&] { return now; });
        std::istringstream steps(c.steps);
        for (std::string step; std::getline(steps, step, ' ');) {
            if (step == "!") progress.Clear();
            if (step[0] == '+') now += std::chrono::milliseconds(std::stoi(step.substr(1)));
            if (step[0] == '#')
                progress.Counts(std::stoul(step.substr(1)),
                                std::stoul(step.substr(step.find(',') + 1)));
            if (std::string("!+#").find(step[0]) == std::string::npos) progress.Status(step);
        }
        EXPECT_EQ(written, c.written);
    }
}

}  // namespace
}  // namespace corvane
