// The walk's order and choice of files, and the texture lookup, on a real
// disk with a case-sensitive file system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "audit/check_run.h"
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
        m_Read.push_back(path);
        return m_Target.ReadFile(path, bytes);
    }
    std::vector<std::string> m_Read;
};

struct Outcome {
    std::vector<std::string> read;  // relative paths
    std::vector<std::string> shown;
    std::string report;
};

Outcome Check(const TempLibrary& library) {
    ReadLog log;
    CheckState state;
    RecordingProgress progress;
    RunCheck(state, progress, library.Root(), log);
    Outcome outcome{{}, progress.Refreshed(), library.Report()};
    for (const std::string& path : log.m_Read) {
        outcome.read.push_back(path.substr(library.Root().size()));
    }
    return outcome;
}

using Paths = std::vector<std::string>;

TEST(Walk, SubfoldersComeFirstAndTheStatusLineFollows) {
    TempLibrary library;
    library.Write("Stock/x.stk", "");
    library.Write("Stock/Sub/y.stk", "");
    Outcome outcome = Check(library);
    EXPECT_EQ(outcome.read, (Paths{"Stock/Sub/y.stk", "Stock/x.stk"}));
    EXPECT_EQ(outcome.shown,
              (Paths{"Stock", "Stock/Sub", "Stock/Sub", "Stock", "Scenery", "Scenery", "Signals",
                     "Signals", "Track", "Track", "OHLE", "OHLE"}));
}

TEST(Walk, EntriesAreTakenInFoldedNameOrder) {
    TempLibrary library;
    for (const char* name : {"b.stk", "A.STK", "a.stk", "_x.stk", "C.stk", ".hidden.stk",
                             "coach.stk.bak", "z.stc", "\xe9.stk"}) {
        library.Write(std::string("Stock/") + name, "");
    }
    library.Write("Stock/.Hidden/h.stk", "");
    Outcome outcome = Check(library);
    // Folding a-z to A-Z puts "_" (0x5F) after the letters; ties go by bytes.
    EXPECT_EQ(outcome.read,
              (Paths{"Stock/.Hidden/h.stk", "Stock/.hidden.stk", "Stock/A.STK", "Stock/a.stk",
                     "Stock/b.stk", "Stock/C.stk", "Stock/_x.stk", "Stock/\xe9.stk"}));
}

TEST(Walk, EachCategoryWalksItsOwnFolderForItsPattern) {
    TempLibrary library;
    library.Write("Scenery/a.stc", "");
    library.Write("Scenery/a.stk", "");
    library.Write("Signals/b.stc", "");
    library.Write("Track/c.stt", "");
    library.Write("OHLE/d.stc", "");
    library.Write("backup/Stock/e.stk", "");
    Outcome outcome = Check(library);
    EXPECT_EQ(outcome.read, (Paths{"Scenery/a.stc", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc"}));
}

TEST(Walk, CategoryFolderIsFoundWithoutRegardToCase) {
    TempLibrary library;
    library.Write("stock/a.stk", "");
    library.Write("SCENERY/b.stc", "");
    library.Write("Signals/c.stc", "");
    library.Write("signals/d.stc", "");  // the exact name wins
    Outcome outcome = Check(library);
    EXPECT_EQ(outcome.read, (Paths{"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc"}));
    EXPECT_EQ(outcome.shown.front(), "stock");
}

TEST(Walk, OnlyRegularFilesAreReadAndNoFolderTwice) {
    TempLibrary library;
    library.Write("Stock/real.stk", "");
    library.MakeFolder("Stock/old.stk");
    library.Write("Stock/old.stk/inner.stk", "");
    ASSERT_EQ(::mkfifo(library.Path("Stock/pipe.stk").c_str(), 0644), 0);
    std::filesystem::create_symlink("nowhere.stk", library.Path("Stock/dangling.stk"));
    std::filesystem::create_symlink("real.stk", library.Path("Stock/link.stk"));
    std::filesystem::create_directory_symlink("..", library.Path("Stock/Loop"));
    // (Sockets named like library files are in the hostile library.)
    Outcome outcome = Check(library);
    EXPECT_EQ(outcome.read, (Paths{"Stock/old.stk/inner.stk", "Stock/link.stk", "Stock/real.stk"}));
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
    Outcome outcome = Check(library);

    std::string missing;
    std::string_view report = outcome.report;
    const std::string_view marker = "<font color=\"green\">";
    for (size_t at = report.find(marker); at != std::string_view::npos;
         at = report.find(marker, at + 1)) {
        size_t begin = at + marker.size();
        missing += std::string(report.substr(begin, report.find('<', begin) - begin)) + "|";
    }
    EXPECT_EQ(missing, expected);
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
    std::string report = Check(library).report, missing;
    const std::string row = "wall.bmp</font></td>";
    for (size_t at = report.find(row); at != std::string::npos; at = report.find(row, at + 1)) {
        size_t begin = report.find('>', at + row.size()) + 1;
        missing += report.substr(begin, report.find('<', begin) - begin) + "|";
    }
    // Each line is reported, not only the first of a texture in a folder.
    EXPECT_EQ(missing,
              "Stock/B/b.stk|Stock/B/b.stk|Scenery/A/Sub/c.stc|Scenery/A/Sub/c.stc|"
              "Signals/A/a.stc|Signals/A/a.stc|");
    EXPECT_EQ(report.find("roof.bmp</font>"), std::string::npos);
}

}  // namespace
}  // namespace corvane
