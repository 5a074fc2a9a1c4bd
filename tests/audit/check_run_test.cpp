// Whole check runs on small libraries on the disk: the findings each yields,
// in report order, and the older items it queues.
#include "audit/check_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "report/html_report.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;
using Duplicates = std::vector<DuplicateFinding>;
using Older = std::vector<OlderItem>;

struct Checked {
    TempLibrary library;
    testing::RecordingProgress progress;
    FindingsCollector collector;
    Older older;
    // Runs a check as the front ends do, writing the report too.
    const Findings& Check(platform::FileSystem& fs = platform::RealFileSystem()) {
        older = CheckAndWriteReport(library.Root(), progress, fs, &collector);
        return collector.Result();
    }
    const CategoryFindings& Stock() { return Check().categories.at(0); }
};

TEST(CheckRun, TwoCopiesOfAnItemGiveTheSevenLineReport) {
    Checked run;
    run.library.Write("Stock/a.stk", CrLf({"name coach", "[end]"}), "2010-03-03 09:05");
    run.library.Write("Stock/b.stk", CrLf({"name coach", "[end]"}), "2012-01-01 10:00");
    run.library.Write("stray.stk", CrLf({"name coach"}));  // outside the categories
    const std::string expected =
        "<h1>Corvane</h1>\r\n"
        "<font face=\"arial narrow\"><table><tr><td colspan=\"3\"><h2>Stock</h2>\r\n"
        "</td></tr><tr><td>coach</td><td>Stock/b.stk</td><td><font color=\"red\">Stock/a.stk"
        "</font></td></tr><tr><td colspan=\"3\"><h2>Scenery</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>Signals</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>Track</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>OHLE</h2>\r\n"
        "</td></tr></table><font color=\"red\">Red file is <b>older</b></font><br></font>";
    for (int pass = 0; pass < 2; ++pass) {  // a second run truncates, counts nothing twice
        const Findings& findings = run.Check();
        EXPECT_EQ(run.library.Report(), expected);
        EXPECT_EQ(findings.categories.size(), 5u);
        EXPECT_TRUE(findings.finished);
        EXPECT_EQ(run.older, (Older{{"coach", "Stock/a.stk"}}));
        EXPECT_EQ(findings.olderItems, run.older);
        EXPECT_EQ(run.progress.Last(), "Finished");
    }
}

TEST(CheckRun, OlderCopiesByStampAndWalkOrder) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::string>> files;  // in walk order
        Duplicates duplicates;
        Older queued;
    };
    const Case cases[] = {
        {"earlier file older",
         {{"a", CrLf({"name coach"})}, {"b", CrLf({"NAME Coach"})}},
         {{"coach", "Stock/b.stk", "Stock/a.stk", false}},
         {{"coach", "Stock/a.stk"}}},
        {"current file older",
         {{"b", CrLf({"name coach"})}, {"c", CrLf({"name coach"})}},
         {{"coach", "Stock/c.stk", "Stock/b.stk", true}},
         {{"coach", "Stock/c.stk"}}},
        {"equal stamps mark the file met second",
         {{"b", CrLf({"name coach"})}, {"b2", CrLf({"name coach"})}},
         {{"coach", "Stock/b2.stk", "Stock/b.stk", true}},
         {{"coach", "Stock/b2.stk"}}},
        {"each copy against the one before it",
         {{"a", CrLf({"name coach"})}, {"b", CrLf({"name coach"})}, {"d", CrLf({"name coach"})}},
         {{"coach", "Stock/b.stk", "Stock/a.stk", false},
          {"coach", "Stock/d.stk", "Stock/b.stk", false}},
         {{"coach", "Stock/a.stk"}, {"coach", "Stock/b.stk"}}},
        // Removal takes every item of a name out of its file: a pair within
        // one file is reported but never queued.
        {"a pair within one file",
         {{"a", CrLf({"name coach", "name coach"})}},
         {{"coach", "Stock/a.stk", "Stock/a.stk", true}},
         {}},
    };
    const std::map<std::string, const char*> stamps = {{"a", "2010-01-01 00:00"},
                                                       {"b", "2011-01-01 00:00"},
                                                       {"b2", "2011-01-01 00:00"},
                                                       {"c", "2009-01-01 00:00"},
                                                       {"d", "2012-01-01 00:00"}};
    for (const Case& c : cases) {
        Checked run;
        for (const auto& [name, text] : c.files) {
            run.library.Write("Stock/" + std::string(name) + ".stk", text, stamps.at(name));
        }
        EXPECT_EQ(run.Stock().duplicates, c.duplicates) << c.what;
        EXPECT_EQ(run.older, c.queued) << c.what;
    }
}

TEST(CheckRun, FindingsOfEachCategoryInTheirOrder) {
    Checked run;
    run.library.Write("Stock/a.stk", CrLf({"skin \"open", "skin \"\"", "include 0 0 0 ghost",
                                           "include 0 0 0 coach", "include 0 0 0 coach2",
                                           "include 0 0 0 a|b", "include 0 0 0 a"}));
    run.library.Write("Stock/b.stk", CrLf({"include 0 0 0 ghost", "name coach"}));
    run.library.Write("Stock/NFP-Wagons/c.stk", CrLf({"skin \"shut", "include 0 0 0 spook"}));
    run.library.Write("Stock/nfp/d.stk", CrLf({"skin \"lower"}));
    run.library.Write("Scenery/e.stc", CrLf({"name coach", "include 0 0 0 shed", "skin x"}));
    run.library.Write("Signals/f.stc", CrLf({"name shed"}));
    const Findings& findings = run.Check();
    // "NFP" (in capitals only) in a path drops its entries; coach is defined
    // after its reference; a name holding "|" is one name; names do not
    // cross categories; each missing component names the first file only.
    const CategoryFindings stock = {
        "Stock",
        {},
        {{"skin \"lower", "Stock/nfp/d.stk"},
         {"skin \"open", "Stock/a.stk"},
         {"skin \"\"", "Stock/a.stk"}},
        {{"lower.bmp", "Stock/nfp/d.stk"}, {"open.bmp", "Stock/a.stk"}, {"\".bmp", "Stock/a.stk"}},
        {{"ghost", {"Stock/a.stk"}},
         {"coach2", {"Stock/a.stk"}},
         {"a|b", {"Stock/a.stk"}},
         {"a", {"Stock/a.stk"}}}};
    const CategoryFindings scenery = {
        "Scenery", {}, {}, {{"x.bmp", "Scenery/e.stc"}}, {{"shed", {"Scenery/e.stc"}}}};
    ASSERT_EQ(findings.categories.size(), 5u);
    EXPECT_EQ(findings.categories[0], stock);
    EXPECT_EQ(findings.categories[1], scenery);
    EXPECT_EQ(findings.categories[2], (CategoryFindings{"Signals", {}, {}, {}, {}}));
    EXPECT_TRUE(run.older.empty());
}

TEST(CheckRun, NfpIsLookedForBelowTheLibraryRootOnly) {
    TempLibrary library;
    const std::string lines = CrLf({"skin \"open", "include 0 0 0 ghost"});
    library.Write("NFP/Stock/a.stk", lines);
    library.Write("NFP/Stock/NFP-Wagons/b.stk", lines);
    testing::RecordingProgress progress;
    FindingsCollector findings;
    RunCheck(library.Root() + "NFP/", findings, progress);
    EXPECT_EQ(findings.Result().categories.at(0),
              (CategoryFindings{"Stock",
                                {},
                                {{"skin \"open", "Stock/a.stk"}},
                                {{"open.bmp", "Stock/a.stk"}},
                                {{"ghost", {"Stock/a.stk"}}}}));
}

// A file reached by two paths is one file: removing "the older copy" from it
// would remove the only one.
TEST(CheckRun, OneFileReachedTwiceIsReportedButNotQueued) {
    for (const bool hardLink : {false, true}) {
        SCOPED_TRACE(hardLink ? "hard link" : "symbolic link");
        Checked run;
        run.library.Write("Stock/b.stk", CrLf({"name coach", "[end]"}));
        run.library.Write("Stock/c.stk", CrLf({"name wagon", "[end]"}), "2010-01-01 00:00");
        run.library.Write("Stock/d.stk", CrLf({"name wagon", "[end]"}), "2011-01-01 00:00");
        if (hardLink) {
            std::filesystem::create_hard_link(run.library.Path("Stock/b.stk"),
                                              run.library.Path("Stock/a.stk"));
        } else {
            std::filesystem::create_symlink("b.stk", run.library.Path("Stock/a.stk"));
        }
        EXPECT_EQ(run.Stock().duplicates,
                  (Duplicates{{"coach", "Stock/b.stk", "Stock/a.stk", true},
                              {"wagon", "Stock/d.stk", "Stock/c.stk", false}}));
        EXPECT_EQ(run.older, (Older{{"wagon", "Stock/c.stk"}}));  // other pairs as before
    }
}

TEST(CheckRun, ReportThatCannotBeCreatedLeavesTheLibraryUnwalked) {
    Checked run;
    run.library.MakeFolder("Corvane.htm");
    run.library.Write("Stock/a.stk", CrLf({"name coach"}));
    try {
        run.Check();
        FAIL() << "the run went on without its report";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), run.library.Path("Corvane.htm"));
        EXPECT_NE(std::string(error.what()).find(error.Path()), std::string::npos);
    }
    EXPECT_TRUE(run.progress.m_Shown.empty());
}

// Fails reading one file, or listing one folder, as a file that vanished or a
// folder without rights would.
class Unreadable : public testing::ForwardingFileSystem {
  public:
    explicit Unreadable(std::string victim) : m_Victim(std::move(victim)) {}
    platform::FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        if (path == m_Victim) throw platform::FileError("open for reading", path, EACCES);
        return m_Target.ReadFile(path, bytes);
    }
    std::vector<platform::FolderEntry> ListFolder(const std::string& folder) override {
        if (platform::WithTrailingSeparator(folder) == m_Victim + "/") {
            throw platform::FileError("list the folder", m_Victim, EACCES);
        }
        return m_Target.ListFolder(folder);
    }

  private:
    std::string m_Victim;
};

TEST(CheckRun, AnUnreadableFileOrFolderEndsTheRunAndTheReportSaysSo) {
    const std::string kHeader = "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>";
    auto heading = [](const char* title) {
        return std::string("<tr><td colspan=\"3\"><h2>") + title + "</h2>\r\n</td></tr>";
    };
    const std::string coach =
        "<tr><td>coach</td><td><font color=\"red\">Stock/a/b.stk</font></td><td>Stock/a/a.stk"
        "</td></tr>";
    const std::pair<const char*, std::string> cases[] = {
        // what cannot be read, the report before the note
        {"Stock/a/b.stk", heading("Stock")},
        {"Stock/b", heading("Stock") + coach},
        {"Scenery", heading("Stock") + coach + heading("Scenery")},
        {"", heading("Stock")},  // the library root: no category folder can be found
    };
    for (const auto& [what, reportSoFar] : cases) {
        SCOPED_TRACE(what);
        Checked run;
        run.library.Write("Stock/a/a.stk", CrLf({"name coach"}));
        run.library.Write("Stock/a/b.stk", CrLf({"name coach"}));
        run.library.Write("Stock/b/c.stk", CrLf({"name wagon"}));
        run.library.Write("Scenery/d.stc", CrLf({"skin d"}));
        std::string victim = run.library.Path(what);
        if (victim.back() == '/') victim.pop_back();
        Unreadable fs(victim);
        std::string message;
        try {
            run.Check(fs);
            FAIL() << "the run went on past an unreadable file or folder";
        } catch (const platform::FileError& error) {
            AppendEscaped(message, error.what());
            EXPECT_EQ(error.Path(), victim);
        }
        EXPECT_EQ(run.library.Report(),
                  kHeader + reportSoFar +
                      "</table><font color=\"red\"><b>The check did not finish:</b> " + message +
                      "</font><br></font>");
        EXPECT_FALSE(run.collector.Result().finished);
        EXPECT_NE(run.progress.Last(), "Finished");
    }

    // A texture looked for in a folder that cannot be read is only missing.
    Checked run;
    run.library.Write("Stock/a.stk", CrLf({"skin roof"}));
    run.library.Write("textures/roof.bmp", "BM");
    Unreadable fs(run.library.Path("textures"));
    EXPECT_EQ(run.Check(fs).categories.at(0).missingTextures,
              (std::vector<TextureFinding>{{"roof.bmp", "Stock/a.stk"}}));
}

}  // namespace
}  // namespace corvane
