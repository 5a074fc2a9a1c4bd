// Whole check runs on libraries on the disk, compared with the report bytes
// and the queued older items they must give.
#include <gtest/gtest.h>

#include <map>

#include "report/html_report.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::RecordingProgress;
using testing::TempLibrary;
using Older = std::vector<std::pair<std::string, std::string>>;

const std::string kHeader = "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>";
const std::string kFooter =
    "</table><font color=\"red\">Red file is <b>older</b></font><br></font>";

std::string Heading(const char* title) {
    return std::string("<tr><td colspan=\"3\"><h2>") + title + "</h2>\r\n</td></tr>";
}

std::string Red(const std::string& text) {
    return "<font color=\"red\">" + text + "</font>";
}

// A data row; its cells all open shaded or plain.
std::string Row(bool shaded, std::initializer_list<std::string> cells) {
    std::string row = "<tr>";
    for (const std::string& cell : cells) {
        row += (shaded ? "<td style=\"background-color: #ccccff\">" : "<td>") + cell + "</td>";
    }
    return row + "</tr>";
}

// The report of a library whose only rows stand under one heading.
std::string ReportWith(const char* category, const std::string& rows) {
    std::string report = kHeader;
    for (const char* title : {"Stock", "Scenery", "Signals", "Track", "OHLE"}) {
        report += Heading(title) + (std::string(title) == category ? rows : "");
    }
    return report + kFooter;
}

struct CheckedLibrary {
    TempLibrary library;
    RecordingProgress progress;
    std::vector<OlderItem> older;
    std::string Check() {
        older = CheckAndWriteReport(library.Root(), progress);
        return library.Report();
    }
    Older Queued() const {
        Older queued;
        for (const OlderItem& item : older) queued.emplace_back(item.name, item.file);
        return queued;
    }
};

TEST(CheckRun, TwoCopiesOfAnItemGiveTheSevenLineReport) {
    CheckedLibrary run;
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
    EXPECT_EQ(run.Check(), expected);
    EXPECT_EQ(run.progress.Last(), "Finished");
    // A second run truncates the report, starts unshaded, counts nothing twice.
    EXPECT_EQ(run.Check(), expected);
    EXPECT_EQ(run.Queued(), (Older{{"coach", "Stock/a.stk"}}));

    CheckedLibrary empty;
    EXPECT_EQ(empty.Check(), ReportWith("", ""));
    EXPECT_TRUE(empty.older.empty());
}

TEST(CheckRun, OlderCopiesByStampAndWalkOrder) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::string>> files;  // in walk order, with stamps
        std::string rows;
        Older queued;
    };
    const Case cases[] = {
        {"earlier file older",
         {{"a", CrLf({"name coach"})}, {"b", CrLf({"NAME Coach"})}},
         Row(false, {"coach", "Stock/b.stk", Red("Stock/a.stk")}),
         {{"coach", "Stock/a.stk"}}},
        {"current file older",
         {{"b", CrLf({"name coach"})}, {"c", CrLf({"name coach"})}},
         Row(false, {"coach", Red("Stock/c.stk"), "Stock/b.stk"}),
         {{"coach", "Stock/c.stk"}}},
        {"equal stamps mark the file met second",
         {{"b", CrLf({"name coach"})}, {"b2", CrLf({"name coach"})}},
         Row(false, {"coach", Red("Stock/b2.stk"), "Stock/b.stk"}),
         {{"coach", "Stock/b2.stk"}}},
        {"each copy against the one before it",
         {{"a", CrLf({"name coach"})}, {"b", CrLf({"name coach"})}, {"d", CrLf({"name coach"})}},
         Row(false, {"coach", "Stock/b.stk", Red("Stock/a.stk")}) +
             Row(true, {"coach", "Stock/d.stk", Red("Stock/b.stk")}),
         {{"coach", "Stock/a.stk"}, {"coach", "Stock/b.stk"}}},
        // Removal takes every item of a name out of its file: a pair within
        // one file is reported but never queued.
        {"a pair within one file",
         {{"a", CrLf({"name coach", "name coach"})}},
         Row(false, {"coach", Red("Stock/a.stk"), "Stock/a.stk"}),
         {}},
    };
    const std::map<std::string, const char*> stamps = {{"a", "2010-01-01 00:00"},
                                                       {"b", "2011-01-01 00:00"},
                                                       {"b2", "2011-01-01 00:00"},
                                                       {"c", "2009-01-01 00:00"},
                                                       {"d", "2012-01-01 00:00"}};
    for (const Case& c : cases) {
        CheckedLibrary run;
        for (const auto& [name, text] : c.files) {
            run.library.Write("Stock/" + std::string(name) + ".stk", text, stamps.at(name));
        }
        EXPECT_EQ(run.Check(), ReportWith("Stock", c.rows)) << c.what;
        EXPECT_EQ(run.Queued(), c.queued) << c.what;
    }
}

TEST(CheckRun, RowsShadingNfpAndComponentsWithinACategory) {
    CheckedLibrary run;
    run.library.Write("Stock/a.stk", CrLf({"skin \"open", "skin \"\"", "include 0 0 0 ghost",
                                           "include 0 0 0 coach", "include 0 0 0 coach2",
                                           "include 0 0 0 a|b", "include 0 0 0 a"}));
    run.library.Write("Stock/b.stk", CrLf({"include 0 0 0 ghost", "name coach"}));
    run.library.Write("Stock/NFP-Wagons/c.stk", CrLf({"skin \"shut", "include 0 0 0 spook"}));
    run.library.Write("Stock/nfp/d.stk", CrLf({"skin \"lower"}));
    run.library.Write("Scenery/e.stc", CrLf({"name coach", "include 0 0 0 shed", "skin x"}));
    run.library.Write("Signals/f.stc", CrLf({"name shed"}));
    const std::string a = run.library.Path("Stock/a.stk");
    const std::string d = run.library.Path("Stock/nfp/d.stk");
    const std::string red = "<font color=\"red\">", green = "<font color=\"green\">",
                      blue = "<font color=\"blue\">";
    // NFP in a path (upper case only) drops its syntax and component entries
    // and texture rows; coach is defined after its reference; a name holding
    // "|" matches only its own references; names do not cross categories.
    std::string expected =
        kHeader + Heading("Stock") + Row(false, {"Syntax", red + "skin &quot;lower</font>", d}) +
        Row(true, {"Syntax", red + "skin &quot;open</font>", a}) +
        Row(false, {"Syntax", red + "skin &quot;&quot;</font>", a}) +
        Row(true, {"Missing Texture", green + "lower.bmp</font>", "Stock/nfp/d.stk"}) +
        Row(false, {"Missing Texture", green + "open.bmp</font>", "Stock/a.stk"}) +
        Row(true, {"Missing Texture", green + "&quot;.bmp</font>", "Stock/a.stk"}) +
        Row(false, {"Missing Component", blue + "ghost</font>", "Stock/a.stk"}) +
        Row(true, {"Missing Component", blue + "coach2</font>", "Stock/a.stk"}) +
        Row(false, {"Missing Component", blue + "a|b</font>", "Stock/a.stk"}) +
        Row(true, {"Missing Component", blue + "a</font>", "Stock/a.stk"}) +
        Heading("Scenery") +  // shading carries on across headings
        Row(false, {"Missing Texture", green + "x.bmp</font>", "Scenery/e.stc"}) +
        Row(true, {"Missing Component", blue + "shed</font>", "Scenery/e.stc"}) +
        Heading("Signals") + Heading("Track") + Heading("OHLE") + kFooter;
    EXPECT_EQ(run.Check(), expected);
    EXPECT_TRUE(run.Queued().empty());
}

TEST(CheckRun, LibraryTextIsEscapedAndSplitNowhere) {
    CheckedLibrary run;
    run.library.Write("Stock/<b>&.stk", CrLf({"name <b>c & \"o\"</b>"}), "2010-01-01 00:00");
    run.library.Write("Stock/z.stk", CrLf({"name <b>c & \"o\"</b>", "skin \"a|b<i>"}),
                      "2011-01-01 00:00");
    EXPECT_EQ(run.Check(),
              ReportWith("Stock", Row(false, {"&lt;b&gt;c &amp; &quot;o&quot;&lt;/b&gt;",
                                              "Stock/z.stk", Red("Stock/&lt;b&gt;&amp;.stk")}) +
                                      Row(true, {"Syntax", Red("skin &quot;a|b&lt;i&gt;"),
                                                 run.library.Path("Stock/z.stk")}) +
                                      Row(false, {"Missing Texture",
                                                  "<font color=\"green\">a|b&lt;i&gt;.bmp</font>",
                                                  "Stock/z.stk"})));
}

TEST(CheckRun, NfpInTheRootSuppressesEverySyntaxRow) {
    CheckedLibrary run;
    const std::string root = run.library.Root() + "NFP/";
    run.library.Write("NFP/Stock/a.stk", CrLf({"skin \"open"}));
    CheckAndWriteReport(root, run.progress);
    EXPECT_EQ(
        run.library.Read("NFP/Corvane.htm"),
        ReportWith("Stock", Row(false, {"Missing Texture", "<font color=\"green\">open.bmp</font>",
                                        "Stock/a.stk"})));
}

TEST(CheckRun, ReportThatCannotBeCreatedLeavesEverythingAsItWas) {
    CheckedLibrary run;
    run.library.MakeFolder("Corvane.htm");
    run.library.Write("Stock/a.stk", CrLf({"name coach"}));
    try {
        run.Check();
        FAIL() << "the run went on without its report";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), run.library.Path("Corvane.htm"));
        EXPECT_NE(std::string(error.what()).find(error.Path()), std::string::npos);
    }
    EXPECT_TRUE(run.progress.m_Shown.empty());  // nothing walked
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
    CheckedLibrary run;
    run.library.Write("Stock/a.stk", CrLf({"name coach"}));
    run.library.Write("Stock/b.stk", CrLf({"name coach"}));
    VanishingFile fs(run.library.Path("Stock/b.stk"));
    try {
        CheckAndWriteReport(run.library.Root(), run.progress, fs);
        FAIL() << "a vanished file went unnoticed";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), run.library.Path("Stock/b.stk"));
        EXPECT_NE(std::string(error.what()).find("open for reading"), std::string::npos);
    }
    // What was written so far is on the disk; no footer.
    EXPECT_EQ(run.library.Report(), kHeader + Heading("Stock"));
    EXPECT_NE(run.progress.Last(), "Finished");
}

}  // namespace
}  // namespace corvane
