// Whole check runs on libraries on the disk, compared with the report bytes
// and the queued older items they must give.
#include "audit/check_run.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::RecordingProgress;
using testing::TempLibrary;

constexpr const char* kHeader = "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>";
constexpr const char* kFooter =
    "</table><font color=\"red\">Red file is <b>older</b></font><br></font>";
constexpr const char* kShaded = "<td style=\"background-color: #ccccff\">";

std::string Heading(const char* title) {
    return std::string("<tr><td colspan=\"3\"><h2>") + title + "</h2>\r\n</td></tr>";
}

// The report of a library whose only rows stand under the heading given.
std::string ReportWith(const char* category, const std::string& rows) {
    std::string report = kHeader;
    for (const char* title : {"Stock", "Scenery", "Signals", "Track", "OHLE"}) {
        report += Heading(title);
        if (std::string(title) == category) report += rows;
    }
    return report + kFooter;
}

struct CheckedLibrary {
    CheckState state;
    RecordingProgress progress;
    void Check(const TempLibrary& library) { RunCheck(state, progress, library.Root()); }
    std::vector<std::pair<std::string, std::string>> Older() const {
        std::vector<std::pair<std::string, std::string>> older;
        for (size_t i = 0; i < state.m_OlderNames.size(); ++i) {
            older.emplace_back(state.m_OlderNames[i], state.m_OlderFiles[i]);
        }
        return older;
    }
};

TEST(CheckRun, TwoCopiesOfAnItemGiveTheSevenLineReport) {
    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"name coach", "[end]"}), "2010-03-03 09:05");
    library.Write("Stock/b.stk", CrLf({"name coach", "[end]"}), "2012-01-01 10:00");
    CheckedLibrary run;
    run.Check(library);

    const std::string expected =
        "<h1>Corvane</h1>\r\n"
        "<font face=\"arial narrow\"><table><tr><td colspan=\"3\"><h2>Stock</h2>\r\n"
        "</td></tr><tr><td>coach</td><td>Stock/b.stk</td><td><font color=\"red\">Stock/a.stk"
        "</font></td></tr><tr><td colspan=\"3\"><h2>Scenery</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>Signals</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>Track</h2>\r\n"
        "</td></tr><tr><td colspan=\"3\"><h2>OHLE</h2>\r\n"
        "</td></tr></table><font color=\"red\">Red file is <b>older</b></font><br></font>";
    const std::string first = library.Report();
    EXPECT_EQ(first, expected);
    EXPECT_EQ(run.progress.m_Label, "Delete 1 older items");
    EXPECT_TRUE(run.progress.m_Enabled);
    EXPECT_EQ(run.progress.m_Status, "Finished");

    // A second run truncates the report, starts unshaded and does not count
    // the older items twice.
    run.Check(library);
    EXPECT_EQ(library.Report(), first);
    EXPECT_EQ(run.Older().size(), 1u);
}

TEST(CheckRun, EmptyLibraryGivesHeadingsOnlyAndEnablesTheButtonAtZero) {
    TempLibrary library;
    library.Write("stray.stk", CrLf({"name coach"}));  // files in the root are never read
    library.Write("Other/x.stk", CrLf({"name coach"}));
    library.Write("Other/y.stk", CrLf({"name coach"}));
    CheckedLibrary run;
    run.Check(library);
    EXPECT_EQ(library.Report(), ReportWith("", ""));
    EXPECT_EQ(run.progress.m_Label, "Delete 0 older items");
    EXPECT_TRUE(run.progress.m_Enabled);
}

TEST(CheckRun, OlderFileOfADuplicatePair) {
    struct Case {
        const char* name;
        const char* stampA;  // a.stk is met first
        const char* stampB;
        bool aIsOlder;
    };
    const Case cases[] = {
        {"earlier file older", "2010-01-01 00:00", "2011-01-01 00:00", true},
        {"current file older", "2011-01-01 00:00", "2010-01-01 00:00", false},
        {"equal stamps mark the current file", "2010-01-01 00:00", "2010-01-01 00:00", false},
        {"seconds do not count", "2010-01-01 09:05", "2010-01-01 09:05", false},
    };
    for (const Case& c : cases) {
        TempLibrary library;
        library.Write("Stock/a.stk", CrLf({"name coach"}), c.stampA);
        library.Write("Stock/b.stk", CrLf({"NAME Coach"}), c.stampB);
        CheckedLibrary run;
        run.Check(library);
        std::string row = c.aIsOlder ? "<tr><td>coach</td><td>Stock/b.stk</td><td><font "
                                       "color=\"red\">Stock/a.stk</font></td></tr>"
                                     : "<tr><td>coach</td><td><font color=\"red\">Stock/b.stk"
                                       "</font></td><td>Stock/a.stk</td></tr>";
        EXPECT_EQ(library.Report(), ReportWith("Stock", row)) << c.name;
        std::pair<std::string, std::string> older{"coach",
                                                  c.aIsOlder ? "Stock/a.stk" : "Stock/b.stk"};
        EXPECT_EQ(run.Older(), decltype(run.Older()){older}) << c.name;
    }
}

TEST(CheckRun, EveryDefinitionIsComparedWithTheOneBeforeIt) {
    TempLibrary library;
    library.Write("Stock/f1.stk", CrLf({"name coach"}), "2010-01-01 00:00");
    library.Write("Stock/f2.stk", CrLf({"name coach"}), "2011-01-01 00:00");
    library.Write("Stock/f3.stk", CrLf({"name coach"}), "2012-01-01 00:00");
    CheckedLibrary run;
    run.Check(library);
    const std::string rows =
        "<tr><td>coach</td><td>Stock/f2.stk</td><td><font color=\"red\">Stock/f1.stk</font>"
        "</td></tr><tr>" +
        std::string(kShaded) + "coach</td>" + kShaded + "Stock/f3.stk</td>" + kShaded +
        "<font color=\"red\">Stock/f2.stk</font></td></tr>";
    EXPECT_EQ(library.Report(), ReportWith("Stock", rows));
    EXPECT_EQ(run.Older(),
              (decltype(run.Older()){{"coach", "Stock/f1.stk"}, {"coach", "Stock/f2.stk"}}));
}

TEST(CheckRun, PairWithinOneFileIsReportedButNeverQueued) {
    // Removal takes every item of a name out of a file: queuing a pair from
    // one file would leave the library without the item.
    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"name coach", "[end]", "name coach", "[end]"}));
    library.Write("Stock/b.stk", CrLf({"name wagon", "[end]"}), "2010-01-01 00:00");
    library.Write("Stock/c.stk", CrLf({"name wagon", "[end]", "name wagon", "[end]"}),
                  "2012-01-01 00:00");
    CheckedLibrary run;
    run.Check(library);
    const std::string report = library.Report();
    EXPECT_NE(report.find("<tr><td>coach</td><td><font color=\"red\">Stock/a.stk</font></td>"
                          "<td>Stock/a.stk</td></tr>"),
              std::string::npos);
    // b.stk against c.stk is queued; c.stk against itself is not.
    EXPECT_EQ(run.Older(), (decltype(run.Older()){{"wagon", "Stock/b.stk"}}));
    EXPECT_EQ(run.progress.m_Label, "Delete 1 older items");
}

TEST(CheckRun, NamesAreJudgedWithinOneCategory) {
    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"name coach", "include 0 0 0 shed"}));
    library.Write("Scenery/a.stc", CrLf({"name coach", "name shed"}));
    library.Write("Signals/a.stc", CrLf({"name shed"}));
    CheckedLibrary run;
    run.Check(library);
    EXPECT_TRUE(run.Older().empty());
    EXPECT_EQ(library.Report(),
              ReportWith("Stock",
                         "<tr><td>Missing Component</td><td><font color=\"blue\">shed</font>"
                         "</td><td>Stock/a.stk</td></tr>"));
}

TEST(CheckRun, RowsAndShadingInCategoryOrder) {
    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"skin \"open", "skin \"\"", "include 0 0 0 ghost"}));
    library.Write("Scenery/b.stc", CrLf({"skin missing"}));
    CheckedLibrary run;
    run.Check(library);
    const std::string path = library.Root() + "Stock/a.stk";
    std::string expected = kHeader + Heading("Stock");
    expected += "<tr><td>Syntax</td><td><font color=\"red\">skin &quot;open</font></td><td>" +
                path + "</td></tr>";
    expected += std::string("<tr>") + kShaded + "Syntax</td>" + kShaded +
                "<font color=\"red\">skin &quot;&quot;</font></td>" + kShaded + path + "</td></tr>";
    expected +=
        "<tr><td>Missing Texture</td><td><font color=\"green\">open.bmp</font></td>"
        "<td>Stock/a.stk</td></tr>";
    expected += std::string("<tr>") + kShaded + "Missing Texture</td>" + kShaded +
                "<font color=\"green\">&quot;.bmp</font></td>" + kShaded + "Stock/a.stk</td></tr>";
    expected +=
        "<tr><td>Missing Component</td><td><font color=\"blue\">ghost</font></td>"
        "<td>Stock/a.stk</td></tr>";
    // Shading carries on across the heading.
    expected += Heading("Scenery") + "<tr>" + kShaded + "Missing Texture</td>" + kShaded +
                "<font color=\"green\">missing.bmp</font></td>" + kShaded +
                "Scenery/b.stc</td></tr>";
    expected += Heading("Signals") + Heading("Track") + Heading("OHLE") + kFooter;
    EXPECT_EQ(library.Report(), expected);
}

TEST(CheckRun, LibraryTextIsEscapedInTheReport) {
    TempLibrary library;
    library.Write("Stock/<b>&.stk", CrLf({"name <b>coach & \"co\"</b>"}), "2010-01-01 00:00");
    library.Write("Stock/z.stk", CrLf({"name <b>coach & \"co\"</b>", "skin \"a|b<i>"}),
                  "2011-01-01 00:00");
    CheckedLibrary run;
    run.Check(library);
    const std::string report = library.Report();
    EXPECT_NE(report.find("<tr><td>&lt;b&gt;coach &amp; &quot;co&quot;&lt;/b&gt;</td><td>"
                          "Stock/z.stk</td><td><font color=\"red\">Stock/&lt;b&gt;&amp;.stk"
                          "</font></td></tr>"),
              std::string::npos)
        << report;
    // The whole line stands in the second cell even though it holds "|".
    EXPECT_NE(report.find("<font color=\"red\">skin &quot;a|b&lt;i&gt;</font></td>" +
                          std::string(kShaded) + library.Root() + "Stock/z.stk</td>"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("<i>"), std::string::npos);
}

TEST(CheckRun, NfpPathsSuppressTheirEntries) {
    TempLibrary library;
    library.Write("Stock/NFP-Wagons/a.stk", CrLf({"skin \"open", "include 0 0 0 ghost"}));
    library.Write("Stock/nfp/b.stk", CrLf({"skin \"shut", "include 0 0 0 spook"}));
    CheckedLibrary run;
    run.Check(library);
    const std::string report = library.Report();
    // Upper-case NFP in the path: no syntax row, no texture row, no component.
    EXPECT_EQ(report.find("open"), std::string::npos);
    EXPECT_EQ(report.find("ghost"), std::string::npos);
    // The test is case-sensitive.
    EXPECT_NE(report.find("skin &quot;shut"), std::string::npos);
    EXPECT_NE(report.find("shut.bmp"), std::string::npos);
    EXPECT_NE(report.find("spook"), std::string::npos);
}

TEST(CheckRun, NfpInTheRootSuppressesSyntaxRowsButNotTextureRows) {
    TempLibrary outer;
    outer.MakeFolder("NFP");
    const std::string root = outer.Root() + "NFP/";
    outer.Write("NFP/Stock/a.stk", CrLf({"skin \"open", "include 0 0 0 ghost"}));
    CheckState state;
    RecordingProgress progress;
    RunCheck(state, progress, root);
    const std::string report = outer.Read("NFP/Corvane.htm");
    EXPECT_EQ(report.find("Syntax"), std::string::npos);
    EXPECT_EQ(report.find("ghost"), std::string::npos);
    EXPECT_NE(report.find("<font color=\"green\">open.bmp</font></td><td>Stock/a.stk"),
              std::string::npos);
}

TEST(CheckRun, ComponentsDefinedLaterInTheCategoryAreWithdrawn) {
    TempLibrary library;
    library.Write("Stock/a.stk",
                  CrLf({"include 0 0 0 coach", "include 0 0 0 coach2", "include 0 0 0 wagon"}));
    library.Write("Stock/b.stk", CrLf({"include 0 0 0 wagon", "name coach"}));
    library.Write("Stock/c.stk", CrLf({"include 0 0 0 wagon"}));
    CheckedLibrary run;
    run.Check(library);
    // coach is defined after its reference; coach2's row does not list the
    // coach reference and wagon's row names only the first referring file.
    EXPECT_EQ(library.Report(),
              ReportWith("Stock",
                         "<tr><td>Missing Component</td><td><font color=\"blue\">coach2</font>"
                         "</td><td>Stock/a.stk</td></tr><tr>" +
                             std::string(kShaded) + "Missing Component</td>" + kShaded +
                             "<font color=\"blue\">wagon</font></td>" + kShaded +
                             "Stock/a.stk</td></tr>"));
}

TEST(CheckRun, ComponentNameHoldingABarMatchesOnlyItsOwnReferences) {
    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"include 0 0 0 a|b"}));
    library.Write("Stock/b.stk", CrLf({"include 0 0 0 a"}));
    CheckedLibrary run;
    run.Check(library);
    EXPECT_EQ(
        library.Report(),
        ReportWith("Stock",
                   "<tr><td>Missing Component</td><td><font color=\"blue\">a|b</font>"
                   "</td><td>Stock/a.stk</td></tr><tr>" +
                       std::string(kShaded) + "Missing Component</td>" + kShaded +
                       "<font color=\"blue\">a</font></td>" + kShaded + "Stock/b.stk</td></tr>"));
}

TEST(CheckRun, ReportThatCannotBeCreatedLeavesEverythingAsItWas) {
    TempLibrary library;
    library.MakeFolder("Corvane.htm");
    library.Write("Stock/a.stk", CrLf({"name coach"}));
    CheckedLibrary run;
    run.state.m_OlderNames.push_back("old");
    run.state.m_OlderFiles.push_back("Stock/old.stk");
    try {
        run.Check(library);
        FAIL() << "the run went on without its report";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), library.Root() + "Corvane.htm");
        EXPECT_NE(std::string(error.what()).find(library.Root() + "Corvane.htm"),
                  std::string::npos);
    }
    EXPECT_TRUE(run.progress.m_Events.empty());  // nothing walked, button unchanged
    EXPECT_TRUE(run.Older().empty());
    EXPECT_EQ(run.state.m_pReport, nullptr);
}

TEST(CheckRun, UnreadableLibraryFileEndsTheRunAndClosesTheReport) {
    // A file that vanishes between the walk and the scan.
    class VanishingFile : public testing::ForwardingFileSystem {
      public:
        explicit VanishingFile(std::string victim) : m_Victim(std::move(victim)) {}
        std::int64_t ReadFile(const std::string& path, std::string& bytes) override {
            if (path == m_Victim) m_Target.Remove(path);
            return m_Target.ReadFile(path, bytes);
        }

      private:
        std::string m_Victim;
    };

    TempLibrary library;
    library.Write("Stock/a.stk", CrLf({"name coach"}));
    library.Write("Stock/b.stk", CrLf({"name coach"}));
    VanishingFile fs(library.Path("Stock/b.stk"));
    CheckState state;
    RecordingProgress progress;
    try {
        RunCheck(state, progress, library.Root(), fs);
        FAIL() << "a vanished file went unnoticed";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), library.Path("Stock/b.stk"));
        EXPECT_NE(std::string(error.what()).find("open for reading"), std::string::npos);
    }
    // What was written so far is on the disk; no footer; button unchanged.
    EXPECT_EQ(library.Report(), kHeader + Heading("Stock"));
    EXPECT_EQ(progress.m_Label, "Delete older items");
    EXPECT_FALSE(progress.m_Enabled);
    EXPECT_EQ(state.m_pReport, nullptr);
}

}  // namespace
}  // namespace corvane
