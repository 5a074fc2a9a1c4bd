// Whole check runs on small libraries on the disk: the report's bytes, the findings in report
// order, the older items queued, where an unreadable file or folder ends the run; which files the
// walk reads in what order, the texture lookup, and which folders pass for a library. Most
// libraries lie in a folder named NFP, which only counts below the top.
#include "audit/check_run.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>

#include "audit/item_stamp.h"
#include "audit/library_root.h"
#include "commands/commands.h"
#include "report/html_report.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::Generic;
using testing::ReportHeading;
using Lines = std::vector<std::string>;

// Each finding as a line with "/" between folders, as "duplicate coach Stock/b.stk:2 after
// Stock/a.stk:1, older Stock/a.stk" or "component c Stock/a.stk:3" (each file that refers to it);
// then each older item queued, as "older coach Stock/a.stk:1".
Lines Rows(const Findings& findings, const std::vector<OlderItem>& older) {
    Lines rows;
    auto add = [&](std::string row) { rows.push_back(Generic(std::move(row))); };
    auto at = [](const std::string& file, size_t n) {
        return " " + file + ":" + std::to_string(n);
    };
    for (const CategoryFindings& c : findings.categories) {
        for (const DuplicateFinding& d : c.duplicates) {
            add("duplicate " + d.name + at(d.file, d.lineNumber) + " after" +
                at(d.earlierFile, d.earlierLineNumber) + ", older " + d.Older());
        }
        for (const SyntaxFinding& e : c.syntaxErrors)
            add("syntax " + e.line + at(e.file, e.lineNumber));
        for (const TextureFinding& t : c.missingTextures)
            add("texture " + t.texture + at(t.file, t.lineNumber));
        for (const ComponentFinding& m : c.missingComponents) {
            std::string row = "component " + m.component;
            for (size_t i = 0; i < m.files.size(); ++i) row += at(m.files[i], m.lineNumbers[i]);
            add(row);
        }
    }
    for (const OlderItem& item : older) add("older " + item.name + at(item.file, item.lineNumber));
    return rows;
}

struct Checked {
    testing::TempLibrary temp;
    testing::RecordingProgress progress;
    FindingsCollector collector;

    std::string Path(const std::string& relative) const { return temp.Path("NFP/" + relative); }
    void Write(const std::string& relative, const std::string& bytes, std::string_view stamp = {}) {
        temp.Write("NFP/" + relative, bytes, stamp);
    }
    // Runs a check as the front ends do, writing the report too.
    Lines Check(platform::FileSystem& fs = platform::RealFileSystem()) {
        const CheckResult result =
            CheckAndWriteReport(Path(""), progress, {.fs = &fs, .findings = &collector});
        EXPECT_EQ(collector.Result().olderItems, result.olderItems);
        return Rows(collector.Result(), result.olderItems);
    }
};

TEST(CheckRun, TwoCopiesOfAnItemGiveTheSevenLineReport) {
    Checked run;
    run.Write("Stock/a.stk", CrLf({"name coach", "[end]"}), "2010-03-03 09:05");
    run.Write("Stock/b.stk", CrLf({"name coach", "[end]"}), "2012-01-01 10:00");
    run.Write("stray.stk", CrLf({"name coach"}));  // outside the categories
    std::string expected = testing::kReportHead + ReportHeading("Stock") +
                           "<tr><td>coach</td><td>" + testing::Native("Stock/b.stk") +
                           "</td><td><font color=\"red\">" + testing::Native("Stock/a.stk") +
                           "</font></td></tr>";
    for (const char* title : {"Scenery", "Signals", "Track", "OHLE"})
        expected += ReportHeading(title);
    expected += testing::kReportTail;
    for (int pass = 0; pass < 2; ++pass) {  // a second run truncates, counts nothing twice
        // The duplicate and the older item (their texts: OlderCopiesByStampAndWalkOrder).
        EXPECT_EQ(run.Check().size(), 2u);
        EXPECT_EQ(run.temp.Read("NFP/Corvane.htm"), expected);
        EXPECT_TRUE(run.collector.Result().finished);
        EXPECT_EQ(run.progress.Last(), "Finished");
    }
}

TEST(CheckRun, OlderCopiesByStampAndWalkOrder) {
    struct Case {
        std::vector<std::pair<const char*, std::string>> files;  // in walk order
        Lines rows;
    };
    // Each copy on its name line, lines counted as the check splits them: at line feeds only.
    const Case cases[] = {
        {{{"a", CrLf({"name coach"})}, {"b", CrLf({"// c", "NAME Coach"})}},
         {"duplicate coach Stock/b.stk:2 after Stock/a.stk:1, older Stock/a.stk",
          "older coach Stock/a.stk:1"}},
        {{{"b", CrLf({"", "name coach"})}, {"c", CrLf({"name coach"})}},
         {"duplicate coach Stock/c.stk:1 after Stock/b.stk:2, older Stock/c.stk",
          "older coach Stock/c.stk:1"}},
        // Equal stamps: the file met second is the older.
        {{{"b", CrLf({"name coach"})}, {"b2", CrLf({"name coach"})}},
         {"duplicate coach Stock/b2.stk:1 after Stock/b.stk:1, older Stock/b2.stk",
          "older coach Stock/b2.stk:1"}},
        // Each copy against the one before; LF only, a stray CR, no line end after the last line.
        {{{"a", "x\ry\nname coach\n"}, {"b", "\n\nname coach"}, {"d", "\r\n\r\r\nname coach"}},
         {"duplicate coach Stock/b.stk:3 after Stock/a.stk:2, older Stock/a.stk",
          "duplicate coach Stock/d.stk:3 after Stock/b.stk:3, older Stock/b.stk",
          "older coach Stock/a.stk:2", "older coach Stock/b.stk:3"}},
        // Removal takes every item of a name out of its file: a pair within one file (the first
        // without [end]) is reported but never queued.
        {{{"a", CrLf({"name coach", "skin x", "name coach", "[end]"})}},
         {"duplicate coach Stock/a.stk:3 after Stock/a.stk:1, older Stock/a.stk",
          "texture x.bmp Stock/a.stk:2"}},
        // So are the paths to one file: b and a hard link (=) and a symbolic one (>) to it. Other
        // pairs are queued as before.
        {{{"b", CrLf({"name coach"})},
          {"c", CrLf({"name wagon"})},
          {"d", CrLf({"name wagon"})},
#ifndef _WIN32  // under Wine, MakeLink here never returns
          {"e", ">b"},
#endif
          {"a", "=b"}},
         {"duplicate coach Stock/b.stk:1 after Stock/a.stk:1, older Stock/b.stk",
          "duplicate wagon Stock/d.stk:1 after Stock/c.stk:1, older Stock/c.stk",
#ifndef _WIN32
          "duplicate coach Stock/e.stk:1 after Stock/b.stk:1, older Stock/e.stk",
#endif
          "older wagon Stock/c.stk:1"}},
    };
    const std::map<std::string, int> year = {
        {"a", 2010}, {"b", 2011}, {"b2", 2011}, {"c", 2009}, {"d", 2012}};
    for (const Case& c : cases) {
        Checked run;
        for (const auto& [name, text] : c.files) {
            const std::string path = "Stock/" + std::string(name) + ".stk", to = text.substr(1);
            if (text[0] == '=') {
                std::filesystem::create_hard_link(run.Path("Stock/" + to + ".stk"), run.Path(path));
            } else if (text[0] == '>') {
                std::filesystem::create_symlink(to + ".stk", run.Path(path));
            } else {
                run.Write(path, text, std::to_string(year.at(name)) + "-01-01 00:00");
            }
        }
        EXPECT_EQ(run.Check(), c.rows);
    }
}

TEST(CheckRun, FindingsOfEachCategoryInTheirOrder) {
    Checked run;
    run.Write("Stock/a.stk", CrLf({"skin \"open", "skin \"\"", "include 0 0 0 ghost",
                                   "include 0 0 0 coach", "include 0 0 0 coach2",
                                   "include 0 0 0 a|b", "include 0 0 0 a", "include 0 0 0 ghost"}));
    run.Write("Stock/b.stk", CrLf({"include 0 0 0 ghost", "name coach"}));
    run.Write("Stock/NFP-Wagons/c.stk", CrLf({"skin \"shut", "include 0 0 0 spook"}));
    run.Write("Stock/nfp/d.stk", CrLf({"skin \"lower"}));
    // LF only, a stray CR, no line end after the last line.
    run.Write("Scenery/e.stc", "name coach\nx\ry\ninclude 0 0 0 shed\nskin \"x");
    run.Write("Signals/f.stc", CrLf({"name shed"}));
    // "NFP" (in capitals only) in a path below the top drops its entries; coach is defined after
    // its reference; a name holding "|" is one name; names do not cross categories; each missing
    // component names the first file only, with its first line that refers to it.
    EXPECT_EQ(run.Check(),
              (Lines{"syntax skin \"lower Stock/nfp/d.stk:1", "syntax skin \"open Stock/a.stk:1",
                     "syntax skin \"\" Stock/a.stk:2", "texture lower.bmp Stock/nfp/d.stk:1",
                     "texture open.bmp Stock/a.stk:1", "texture \".bmp Stock/a.stk:2",
                     "component ghost Stock/a.stk:3", "component coach2 Stock/a.stk:5",
                     "component a|b Stock/a.stk:6", "component a Stock/a.stk:7",
                     "syntax skin \"x Scenery/e.stc:4", "texture x.bmp Scenery/e.stc:4",
                     "component shed Scenery/e.stc:3"}));
}

// Fails to read one file or list one folder, as a vanished file or a folder without rights would.
testing::FaultyFileSystem Unreadable(const std::string& victim) {
    return testing::FaultyFileSystem([victim](const std::string& what, const std::string& path) {
        if (platform::WithoutTrailingSeparator(path) == victim) {
            throw platform::FileError(what, victim, "no rights");
        }
    });
}

TEST(CheckRun, AnUnreadableFileOrFolderEndsTheRunAndTheReportSaysSo) {
    const std::string coach =
        "<tr><td>coach</td><td><font color=\"red\">Stock/a/b.stk</font></td><td>Stock/a/a.stk"
        "</td></tr>";
    const std::pair<const char*, std::string> cases[] = {
        // what cannot be read, the report before the note
        {"Stock/a/b.stk", ReportHeading("Stock")},
        {"Stock/b", ReportHeading("Stock") + coach},
        {"Scenery", ReportHeading("Stock") + coach + ReportHeading("Scenery")},
        {"", ReportHeading("Stock")},  // the library root: no category folder can be found
    };
    for (const auto& [what, reportSoFar] : cases) {
        SCOPED_TRACE(what);
        Checked run;
        run.Write("Stock/a/a.stk", CrLf({"name coach"}));
        run.Write("Stock/a/b.stk", CrLf({"name coach"}));
        run.Write("Stock/b/c.stk", CrLf({"name wagon"}));
        run.Write("Scenery/d.stc", CrLf({"skin d"}));
        const std::string victim = platform::WithoutTrailingSeparator(run.Path(what));
        testing::FaultyFileSystem fs = Unreadable(victim);
        std::string message;
        try {
            run.Check(fs);
            FAIL() << "the run went on past an unreadable file or folder";
        } catch (const platform::FileError& error) {
            AppendEscaped(message, Generic(error.what()));
            EXPECT_EQ(error.Path(), victim);
        }
        EXPECT_EQ(Generic(run.temp.Read("NFP/Corvane.htm")),
                  testing::kReportHead + reportSoFar +
                      "</table><font color=\"red\"><b>The check did not finish:</b> " + message +
                      "</font><br></font>");
        EXPECT_FALSE(run.collector.Result().finished);
        EXPECT_NE(run.progress.Last(), "Finished");
    }
}

// A file's local time to the minute, winter and summer: each date by its own rules, not today's.
TEST(ItemStamp, IsTheLocalTimeAFileWasGivenToTheMinute) {
    testing::TempLibrary library;
    for (const char* stamp : {"2010-01-15 09:05", "2010-07-15 09:05", "1999-12-31 23:59"}) {
        library.Write("a.stk", "x", stamp);
        std::string bytes, expected(stamp);
        std::int64_t time =
            platform::RealFileSystem().ReadFile(library.Path("a.stk"), bytes).lastWriteTime;
        std::erase_if(expected, [](char c) { return c == '-' || c == ' ' || c == ':'; });
        EXPECT_EQ(ItemStamp(time + 59), expected);
    }
#ifndef _WIN32
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(ItemStamp(1267607159), "201003031005");  // 2010-03-03 09:05:59 UTC
    saved ? ::setenv("TZ", previous.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
#endif
}

// Makes "path" as an empty file, "path/" as a folder, "path|" as a FIFO and "path>target" as a link
// to the folder or file target; false where the system makes no links.
bool Make(testing::TempLibrary& library, const std::string& entry) {
    if (size_t arrow = entry.find('>'); arrow != std::string::npos) {
        library.MakeFolder(entry.substr(0, entry.rfind('/', arrow) + 1));
        return testing::MakeLink(library.Path(entry.substr(arrow + 1)),
                                 library.Path(entry.substr(0, arrow)), true);
    }
    if (entry.back() == '/') {
        library.MakeFolder(entry);
#ifndef _WIN32
    } else if (entry.back() == '|') {
        EXPECT_EQ(::mkfifo(library.Path(entry.substr(0, entry.size() - 1)).c_str(), 0644), 0);
#endif
    } else {
        library.Write(entry, "");
    }
    return true;
}

// The files a check on this thread reads, in walk order (several workers give the same outcome:
// tests/pipeline), relative, with "/" between folders.
Lines ReadOrder(const testing::TempLibrary& library) {
    Lines read;
    testing::FaultyFileSystem log([&](const std::string& what, const std::string& path) {
        if (what == "open for reading") read.push_back(Generic(path.substr(library.Root().size())));
    });
    testing::RecordingProgress progress;
    FindingsCollector collector;
    RunCheck(library.Root(), collector, progress, {.fs = &log, .jobs = 1});
    return read;
}

TEST(Walk, WhichFilesAreReadAndInWhatOrder) {
    const std::pair<Lines, Lines> cases[] = {
        // What the library holds, made by Make; the files read. Subfolders first.
        {{"Stock/x.stk", "Stock/Sub/y.stk"}, {"Stock/Sub/y.stk", "Stock/x.stk"}},
        // Folding a-z to A-Z puts "_" (0x5F) after the letters; ties go by bytes.
        {{"Stock/b.stk", "Stock/a.stk", "Stock/_x.stk", "Stock/C.stk", "Stock/.hidden.stk",
          "Stock/coach.stk.bak", "Stock/z.stc", "Stock/.Hidden/h.stk", "Stock/d.STK"},
         {"Stock/.Hidden/h.stk", "Stock/.hidden.stk", "Stock/a.stk", "Stock/b.stk", "Stock/C.stk",
          "Stock/d.STK", "Stock/_x.stk"}},
#ifndef _WIN32  // names that differ only in case, names that are not UTF-8
        {{"Stock/b.stk", "Stock/A.STK", "Stock/a.stk", "Stock/\xe9.stk"},
         {"Stock/A.STK", "Stock/a.stk", "Stock/b.stk", "Stock/\xe9.stk"}},
        // Each category its own folder and pattern.
        {{"Scenery/a.stc", "Scenery/a.stk", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc",
          "backup/Stock/e.stk", "f.stk"},
         {"Scenery/a.stc", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc"}},
        // Category folders in any case, the exact name first.
        {{"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc", "signals/d.stc"},
         {"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc"}},
#endif
        // A folder named like a library file. (Sockets so named: the hostile library.)
        {{"Stock/real.stk", "Stock/old.stk/", "Stock/old.stk/inner.stk"},
         {"Stock/old.stk/inner.stk", "Stock/real.stk"}},
#ifndef _WIN32  // only regular files, no folder twice
        {{"Stock/real.stk", "Stock/pipe.stk|", "Stock/dangling.stk>Stock/nowhere.stk",
          "Stock/link.stk>Stock/real.stk", "Stock/Loop>"},
         {"Stock/link.stk", "Stock/real.stk"}},
#endif
    };
    for (const auto& [entries, read] : cases) {
        testing::TempLibrary library;
        for (const std::string& entry : entries) Make(library, entry);
        EXPECT_EQ(ReadOrder(library), read) << testing::Join(entries);
    }
}

// Each line is reported, not only the first of a texture in a folder; the answers kept per folder
// and for the shared folder are those of a fresh lookup: wall.bmp is beside some files only,
// roof.bmp in textures/ for all.
TEST(Texture, LookupOrderCaseSeparatorsAndKeptAnswers) {
    Checked run;
    Lines expected;
    for (const char* file : {"Stock/A/a.stk", "Stock/B/b.stk", "Stock/C/c.stk",
                             "Scenery/A/Sub/c.stc", "Scenery/A/a.stc", "Signals/A/a.stc"}) {
        run.Write(file, CrLf({"skin wall", "texture \"roof.bmp\"", "texture \"wall.bmp\""}));
    }
    for (const char* file : {"Stock/B/b.stk", "Scenery/A/Sub/c.stc", "Signals/A/a.stc"}) {
        for (const char* line : {":1", ":3"}) {
            expected.push_back(std::string("texture wall.bmp ") + file + line);
        }
    }
    for (const char* texture :
         {"Stock/A/wall.bmp", "Stock/C/WALL.bmp", "Scenery/A/Wall.BMP", "textures/Roof.BMP",
          "OHLE/Walls/Brick.BMP", "OHLE/Walls/Sub/Stone.bmp", "textures/Sub Dir/Slate.bmp",
          "OHLE/Up.bmp", "textures/Locked/z.bmp"}) {
        run.Write(texture, "BM");
    }
    Make(run.temp, "NFP/OHLE/Walls/folder.bmp/");
#ifndef _WIN32  // and a name that is not UTF-8
    Make(run.temp, "NFP/OHLE/Walls/fifo.bmp|");
    Make(run.temp, "NFP/OHLE/Walls/\xc9.bmp");
#endif
    const std::pair<const char*, const char*> cases[] = {
        // a line of walls.stc, the texture it leaves missing or none
        {"skin brick", nullptr},
        {"skin \"BRICK.bmp\"", nullptr},
        {"skin roof", nullptr},                      // under textures/
        {"texture \"x/sub/stone.bmp\"", nullptr},    // the first folder is dropped
        {"texture \"sub/stone.bmp\"", "stone.bmp"},  // ... even when it is real
        {"\"sub\\stone.bmp\"", nullptr},             // a backslash separates folders too
        {"\"sub dir\\slate.bmp\"", nullptr},         // under textures/
        {"\"..\\up.bmp\"", nullptr},
        {"skin folder.bmp", "folder.bmp"},  // a folder is no texture
#ifndef _WIN32
        {"skin fifo.bmp", "fifo.bmp"},  // a special file is never opened
        {"skin \xe9", "\xe9.bmp"},      // only ASCII letters match in any case
#endif
        {"skin nothing", "nothing.bmp"},
        // In a folder that cannot be read a texture is only missing.
        {"texture \"x/locked/z.bmp\"", "locked/z.bmp"},
    };
    std::string text;
    for (size_t i = 0; i < std::size(cases); ++i) {
        text += std::string(cases[i].first) + "\r\n";
        if (cases[i].second) {
            expected.push_back("texture " + std::string(cases[i].second) +
                               " OHLE/Walls/walls.stc:" + std::to_string(i + 1));
        }
    }
    run.Write("OHLE/Walls/walls.stc", text);
    testing::FaultyFileSystem fs = Unreadable(run.Path("textures/Locked"));
    EXPECT_EQ(run.Check(fs), expected);
}

TEST(LibraryRoot, AFolderWithAnyCategoryFolderInAnyCaseIsALibrary) {
    using enum LibraryRootProblem;
    // What the scratch folder holds, made by Make; the folder looked at is "root". (No root, a
    // file, a folder without categories or with STOCK: Cli.ArgumentsAndRootsThatEnd...Written.)
    const std::pair<std::vector<std::string>, LibraryRootProblem> cases[] = {
        {{"root/ohle/"}, kNone},  // only one, in lower case
        {{"elsewhere/tracks/", "root/Track>elsewhere/tracks"}, kNone},
#ifndef _WIN32  // under Wine the test folder cannot remove a link to a full folder
        {{"lib/SIGNALS/", "root>lib"}, kNone},
#endif
        {{"root/Stock", "root/pack/Scenery/", "root/Stocks/"}, kNoCategoryFolder},
    };
    for (const auto& [entries, problem] : cases) {
        SCOPED_TRACE(testing::Join(entries));
        testing::TempLibrary scratch;
        bool linked = true;
        for (const std::string& entry : entries) linked = Make(scratch, entry) && linked;
        if (!linked) {
            std::cout << "[ SKIPPED  ] the system makes no links here\n";
            continue;
        }
        EXPECT_EQ(ExamineLibraryRoot(scratch.Path("root/")), problem);
    }
}

}  // namespace
}  // namespace corvane
