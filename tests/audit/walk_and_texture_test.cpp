// The walk's order and choice of files, and the texture lookup, on a real
// disk with a case-sensitive file system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "report/html_report.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::RecordingProgress;
using testing::TempLibrary;

// Records which files the check read, in order.
class ReadLog : public testing::ForwardingFileSystem {
  public:
    std::int64_t ReadFile(const std::string& path, std::string& bytes) override {
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            m_Read.push_back(path);
        }
        return m_Target.ReadFile(path, bytes);
    }
    std::mutex m_Lock;
    std::vector<std::string> m_Read;
};

using Paths = std::vector<std::string>;

struct Outcome {
    std::vector<std::string> read;  // relative paths
    std::vector<std::string> shown;
    std::string report;
};

Outcome Check(const TempLibrary& library, unsigned jobs) {
    ReadLog log;
    RecordingProgress progress;
    CheckAndWriteReport(library.Root(), progress, log, nullptr, jobs);
    Outcome outcome{{}, progress.m_Shown, library.Report()};
    for (const std::string& path : log.m_Read) {
        outcome.read.push_back(path.substr(library.Root().size()));
    }
    return outcome;
}

// The outcome of a check that reads the files one by one on this thread, in
// walk order; with several workers, the files read may come in any order but
// everything shown and reported is the same.
Outcome Check(const TempLibrary& library) {
    Outcome serial = Check(library, 1);
    Outcome parallel = Check(library, 3);
    EXPECT_EQ(parallel.shown, serial.shown);
    EXPECT_EQ(parallel.report, serial.report);
    std::sort(parallel.read.begin(), parallel.read.end());
    Paths serialRead = serial.read;
    std::sort(serialRead.begin(), serialRead.end());
    EXPECT_EQ(parallel.read, serialRead);
    return serial;
}

// Makes "path" as an empty file, "path/" as a folder, "path|" as a FIFO and
// "path>target" as a link.
void Make(TempLibrary& library, const std::string& entry) {
    size_t arrow = entry.find('>');
    if (arrow != std::string::npos) {
        std::filesystem::create_symlink(entry.substr(arrow + 1),
                                        library.Path(entry.substr(0, arrow)));
    } else if (entry.back() == '/') {
        library.MakeFolder(entry);
    } else if (entry.back() == '|') {
        ASSERT_EQ(::mkfifo(library.Path(entry.substr(0, entry.size() - 1)).c_str(), 0644), 0);
    } else {
        library.Write(entry, "");
    }
}

TEST(Walk, WhichFilesAreReadAndInWhatOrder) {
    struct Case {
        const char* what;
        std::vector<std::string> entries;
        Paths read;
    };
    const Case cases[] = {
        {"subfolders first",
         {"Stock/x.stk", "Stock/Sub/y.stk"},
         {"Stock/Sub/y.stk", "Stock/x.stk"}},
        // Folding a-z to A-Z puts "_" (0x5F) after the letters; ties go by bytes.
        {"folded name order",
         {"Stock/b.stk", "Stock/A.STK", "Stock/a.stk", "Stock/_x.stk", "Stock/C.stk",
          "Stock/.hidden.stk", "Stock/coach.stk.bak", "Stock/z.stc", "Stock/\xe9.stk",
          "Stock/.Hidden/h.stk"},
         {"Stock/.Hidden/h.stk", "Stock/.hidden.stk", "Stock/A.STK", "Stock/a.stk", "Stock/b.stk",
          "Stock/C.stk", "Stock/_x.stk", "Stock/\xe9.stk"}},
        {"each category its own folder and pattern",
         {"Scenery/a.stc", "Scenery/a.stk", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc",
          "backup/Stock/e.stk", "f.stk"},
         {"Scenery/a.stc", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc"}},
        {"category folders in any case, the exact name first",
         {"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc", "signals/d.stc"},
         {"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc"}},
        // (Sockets named like library files are in the hostile library.)
        {"only regular files, no folder twice",
         {"Stock/real.stk", "Stock/old.stk/", "Stock/old.stk/inner.stk", "Stock/pipe.stk|",
          "Stock/dangling.stk>nowhere.stk", "Stock/link.stk>real.stk", "Stock/Loop>.."},
         {"Stock/old.stk/inner.stk", "Stock/link.stk", "Stock/real.stk"}},
    };
    for (const Case& c : cases) {
        TempLibrary library;
        for (const std::string& entry : c.entries) Make(library, entry);
        EXPECT_EQ(Check(library).read, c.read) << c.what;
    }
}

TEST(Walk, TheStatusLineFollowsTheWalk) {
    TempLibrary library;
    library.Write("stock/Sub/y.stk", "");
    EXPECT_EQ(Check(library).shown,
              (Paths{"stock", "stock/Sub", "stock/Sub", "stock", "Scenery", "Scenery", "Signals",
                     "Signals", "Track", "Track", "OHLE", "OHLE", "Finished"}));
}

// The texts that follow marker in a report (past a cell opener that follows
// it), each ended by "|".
std::string CellsAfter(const std::string& report, const std::string& marker) {
    std::string cells;
    for (size_t at = report.find(marker); at != std::string::npos;
         at = report.find(marker, at + 1)) {
        size_t begin = at + marker.size();
        if (report.compare(begin, 3, "<td") == 0) begin = report.find('>', begin) + 1;
        cells += report.substr(begin, report.find('<', begin) - begin) + "|";
    }
    return cells;
}

TEST(Texture, LookupOrderCaseAndSeparators) {
    struct Case {
        const char* line;
        const char* missing;  // the texture reported missing, or none
    };
    TempLibrary library;
    library.Write("Scenery/Walls/Brick.BMP", "BM");
    library.Write("Scenery/Walls/Sub/Stone.bmp", "BM");
    library.Write("Textures/Roof.bmp", "BM");
    library.Write("Textures/Sub Dir/Slate.bmp", "BM");
    library.Write("Scenery/Up.bmp", "BM");
    library.MakeFolder("Scenery/Walls/folder.bmp");
    ASSERT_EQ(::mkfifo(library.Path("Scenery/Walls/fifo.bmp").c_str(), 0644), 0);
    const Case cases[] = {
        {"skin brick", nullptr},
        {"skin \"BRICK.bmp\"", nullptr},
        {"skin roof", nullptr},                      // under textures/
        {"texture \"x/sub/stone.bmp\"", nullptr},    // the first folder is dropped
        {"texture \"sub/stone.bmp\"", "stone.bmp"},  // ... even when it is real
        {"\"sub\\stone.bmp\"", nullptr},             // a backslash separates folders too
        {"\"sub dir\\slate.bmp\"", nullptr},         // under textures/
        {"\"..\\up.bmp\"", nullptr},
        {"skin folder.bmp", "folder.bmp"},  // a folder is no texture
        {"skin fifo.bmp", "fifo.bmp"},      // a special file is never opened
        {"skin nothing", "nothing.bmp"},
    };
    std::string text;
    std::string expected;
    for (const Case& c : cases) {
        text += std::string(c.line) + "\r\n";
        if (c.missing) expected += std::string(c.missing) + "|";
    }
    library.Write("Scenery/Walls/walls.stc", text);
    EXPECT_EQ(CellsAfter(Check(library).report, "<font color=\"green\">"), expected);
}

// The answers kept per folder and for the shared folder are those of a fresh
// lookup: wall.bmp is beside some files only, roof.bmp in textures/ for all.
TEST(Texture, KeptAnswersAreThoseOfAFreshLookup) {
    TempLibrary library;
    for (const char* file : {"Stock/A/a.stk", "Stock/B/b.stk", "Stock/C/c.stk",
                             "Scenery/A/Sub/c.stc", "Scenery/A/a.stc", "Signals/A/a.stc"}) {
        library.Write(file, CrLf({"skin wall", "texture \"roof.bmp\"", "texture \"wall.bmp\""}));
    }
    for (const char* file :
         {"Stock/A/wall.bmp", "Stock/C/WALL.bmp", "Scenery/A/Wall.BMP", "textures/Roof.BMP"}) {
        library.Write(file, "BM");
    }
    const std::string report = Check(library).report;
    // Each line is reported, not only the first of a texture in a folder.
    EXPECT_EQ(CellsAfter(report, "wall.bmp</font></td>"),
              "Stock/B/b.stk|Stock/B/b.stk|Scenery/A/Sub/c.stc|Scenery/A/Sub/c.stc|"
              "Signals/A/a.stc|Signals/A/a.stc|");
    EXPECT_EQ(report.find("roof.bmp</font>"), std::string::npos);
}

}  // namespace
}  // namespace corvane
