// Which folders pass for a library before a check writes anything into them,
// the walk's order and choice of files, and the texture lookup, on a real disk
// (with a case-sensitive file system on POSIX).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <iostream>

#include "audit/check_run.h"
#include "audit/library_root.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::RecordingProgress;
using testing::TempLibrary;

using Paths = std::vector<std::string>;

// Runs a check that reads the files one by one on this thread, in walk order
// (several workers give the same outcome: tests/pipeline). Gives the files it
// read, relative; with textures, the missing textures as "texture|file".
Paths Check(const TempLibrary& library, bool textures = false) {
    Paths read, missing;
    testing::FaultyFileSystem log([&](const std::string& what, const std::string& path) {
        if (what == "open for reading") read.push_back(path.substr(library.Root().size()));
    });
    RecordingProgress progress;
    FindingsCollector collector;
    RunCheck(library.Root(), collector, progress, {.fs = &log, .jobs = 1});
    for (const CategoryFindings& category : collector.Result().categories) {
        for (const TextureFinding& t : category.missingTextures) {
            missing.push_back(t.texture + "|" + t.file);
        }
    }
    for (std::string& path : textures ? missing : read) path = testing::Generic(path);
    return textures ? missing : read;
}

// Makes "path" as an empty file, "path/" as a folder, "path|" as a FIFO and
// "path>target" as a link.
void Make(TempLibrary& library, const std::string& entry) {
    if (entry.back() == '/') {
        library.MakeFolder(entry);
#ifndef _WIN32
    } else if (size_t arrow = entry.find('>'); arrow != std::string::npos) {
        std::filesystem::create_symlink(entry.substr(arrow + 1),
                                        library.Path(entry.substr(0, arrow)));
    } else if (entry.back() == '|') {
        ASSERT_EQ(::mkfifo(library.Path(entry.substr(0, entry.size() - 1)).c_str(), 0644), 0);
#endif
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
         {"Stock/b.stk", "Stock/a.stk", "Stock/_x.stk", "Stock/C.stk", "Stock/.hidden.stk",
          "Stock/coach.stk.bak", "Stock/z.stc", "Stock/.Hidden/h.stk"},
         {"Stock/.Hidden/h.stk", "Stock/.hidden.stk", "Stock/a.stk", "Stock/b.stk", "Stock/C.stk",
          "Stock/_x.stk"}},
#ifndef _WIN32  // names that differ only in case, names that are not UTF-8
        {"ties by bytes",
         {"Stock/b.stk", "Stock/A.STK", "Stock/a.stk", "Stock/\xe9.stk"},
         {"Stock/A.STK", "Stock/a.stk", "Stock/b.stk", "Stock/\xe9.stk"}},
        {"each category its own folder and pattern",
         {"Scenery/a.stc", "Scenery/a.stk", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc",
          "backup/Stock/e.stk", "f.stk"},
         {"Scenery/a.stc", "Signals/b.stc", "Track/c.stt", "OHLE/d.stc"}},
        {"category folders in any case, the exact name first",
         {"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc", "signals/d.stc"},
         {"stock/a.stk", "SCENERY/b.stc", "Signals/c.stc"}},
#endif
        // (Sockets named like library files are in the hostile library.)
        {"a folder named like a library file",
         {"Stock/real.stk", "Stock/old.stk/", "Stock/old.stk/inner.stk"},
         {"Stock/old.stk/inner.stk", "Stock/real.stk"}},
#ifndef _WIN32
        {"only regular files, no folder twice",
         {"Stock/real.stk", "Stock/pipe.stk|", "Stock/dangling.stk>nowhere.stk",
          "Stock/link.stk>real.stk", "Stock/Loop>.."},
         {"Stock/link.stk", "Stock/real.stk"}},
#endif
    };
    for (const Case& c : cases) {
        TempLibrary library;
        for (const std::string& entry : c.entries) Make(library, entry);
        EXPECT_EQ(Check(library), c.read) << c.what;
    }
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
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(library.Path("Scenery/Walls/fifo.bmp").c_str(), 0644), 0);
#endif
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
#ifndef _WIN32
        {"skin fifo.bmp", "fifo.bmp"},  // a special file is never opened
#endif
        {"skin nothing", "nothing.bmp"},
    };
    std::string text;
    Paths expected;
    for (const Case& c : cases) {
        text += std::string(c.line) + "\r\n";
        if (c.missing) expected.push_back(std::string(c.missing) + "|Scenery/Walls/walls.stc");
    }
    library.Write("Scenery/Walls/walls.stc", text);
    EXPECT_EQ(Check(library, true), expected);
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
    // Each line is reported, not only the first of a texture in a folder.
    EXPECT_EQ(Check(library, true),
              (Paths{"wall.bmp|Stock/B/b.stk", "wall.bmp|Stock/B/b.stk",
                     "wall.bmp|Scenery/A/Sub/c.stc", "wall.bmp|Scenery/A/Sub/c.stc",
                     "wall.bmp|Signals/A/a.stc", "wall.bmp|Signals/A/a.stc"}));
}

TEST(LibraryRoot, AFolderWithAnyCategoryFolderInAnyCaseIsALibrary) {
    using enum LibraryRootProblem;
    // What the scratch folder holds: "x/" a folder, "x" a file, "x>y" a link
    // at x to the folder y; the folder looked at is "root".
    const std::pair<std::vector<std::string>, LibraryRootProblem> cases[] = {
        {{"root/Stock/"}, kNone},
        {{"root/ohle/"}, kNone},  // only one, in lower case
        {{"elsewhere/tracks/", "root/Track>elsewhere/tracks"}, kNone},
#ifndef _WIN32  // under Wine the test folder cannot remove a link to a full folder
        {{"lib/SIGNALS/", "root>lib"}, kNone},
#endif
        {{}, kMissing},
        {{"root"}, kNotAFolder},
        {{"root/"}, kNoCategoryFolder},
        {{"root/Stock", "root/pack/Scenery/", "root/Stocks/"}, kNoCategoryFolder},
    };
    for (const auto& [entries, problem] : cases) {
        SCOPED_TRACE(testing::Join(entries));
        testing::TempLibrary scratch;
        bool linked = true;
        for (const std::string& entry : entries) {
            const size_t arrow = entry.find('>');
            if (arrow != std::string::npos) {
                scratch.MakeFolder(entry.substr(0, entry.rfind('/', arrow) + 1));
                linked = testing::MakeLink(scratch.Path(entry.substr(arrow + 1)),
                                           scratch.Path(entry.substr(0, arrow)), true);
            } else if (entry.ends_with('/')) {
                scratch.MakeFolder(entry);
            } else {
                scratch.Write(entry, "x");
            }
        }
        if (!linked) {
            std::cout << "[ SKIPPED  ] the system makes no links here\n";
            continue;
        }
        EXPECT_EQ(ExamineLibraryRoot(scratch.Path("root/")), problem);
    }
}

}  // namespace
}  // namespace corvane
