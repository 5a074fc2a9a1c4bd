// What only Windows has: names the Win32 path rules would bend, the system
// code page of the report, read-only files, files held open by another
// program, folder junctions. Run under Wine.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::Native;
using testing::TempLibrary;

platform::FileSystem& fs = platform::RealFileSystem();

void Put(const TempLibrary& library, const std::string& relative, const std::string& bytes) {
    testing::Put(library.Root(), relative, bytes);
}

TEST(WindowsNames, EveryNameIsReadReportedAndTakenOutAsItStands) {
    if (::GetACP() != 1252) GTEST_SKIP() << "the expected bytes are those of code page 1252";
    struct Case {
        const char* path;      // UTF-8
        const char* inReport;  // the path's bytes in the report
    };
    const Case cases[] = {
        {"Stock/CON.stk", "Stock\\CON.stk"},
        {"Stock/aux.stk", "Stock\\aux.stk"},
        {"Stock/Dot./a.stk", "Stock\\Dot.\\a.stk"},  // trailing dot and space: names too
        {"Stock/Space /b.stk", "Stock\\Space \\b.stk"},
        {"Stock/caf\u00e9.stk", "Stock\\caf\xe9.stk"},              // held by the code page
        {"Stock/\u6f22\u5b57.stk", "Stock\\&#28450;&#23383;.stk"},  // not held
        {"Stock/\U0001D11E.stk", "Stock\\&#119070;.stk"},           // a surrogate pair
    };
    TempLibrary library;
    std::string newer;
    int item = 0;
    for (const Case& c : cases) {
        std::string name = "name item" + std::to_string(item++);
        Put(library, c.path, CrLf({name, "[end]"}));
        testing::SetStamp(library.Path(c.path), "2010-01-01 00:00");
        newer += CrLf({name, "[end]"});
    }
    Put(library, "Stock/zz.stk", newer);
    testing::SetStamp(library.Path("Stock/zz.stk"), "2011-01-01 00:00");

    testing::RecordingProgress progress;
    std::vector<OlderItem> older = CheckAndWriteReport(library.Root(), progress).olderItems;
    const std::string report = library.Report();
    for (const Case& c : cases) {
        EXPECT_NE(report.find("<font color=\"red\">" + std::string(c.inReport) + "</font>"),
                  std::string::npos)
            << c.path;
    }
    ASSERT_EQ(older.size(), size_t(item));

    EXPECT_FALSE(testing::Delete(library.Root(), older).Failed());
    for (const Case& c : cases) {
        EXPECT_EQ(fs.KindOf(library.Path(c.path)), platform::EntryKind::kMissing) << c.path;
        EXPECT_EQ(fs.KindOf(library.Path(std::string("backup/") + c.path)),
                  platform::EntryKind::kFile)
            << c.path;
    }
}

TEST(WindowsNames, TextureNamesAreLookedUpInTheSystemCodePage) {
    if (::GetACP() != 1252) GTEST_SKIP() << "the library text is in code page 1252";
    TempLibrary library;
    Put(library, "Scenery/caf\u00e9.bmp", "BM");
    // The library file names it in the bytes its author's system wrote.
    Put(library, "Scenery/a.stc", CrLf({"name a", "skin caf\xe9", "skin gone\xe9"}));
    testing::RecordingProgress progress;
    CheckAndWriteReport(library.Root(), progress);
    const std::string report = library.Report();
    EXPECT_EQ(report.find("caf\xe9.bmp</font>"), std::string::npos);
    EXPECT_NE(report.find("gone\xe9.bmp</font>"), std::string::npos);
}

// A file the delete cannot replace: the error names it and nothing is lost.
TEST(WindowsFiles, ReadOnlyOrHeldOpenFilesStopTheDeleteWithTheirName) {
    struct Case {
        const char* what;
        DWORD share;  // of another program's handle on the file; 0: none, read-only instead
        const char* says;
    };
    const Case cases[] = {
        {"read-only", 0, "read-only"},
        {"held open, shared for reading", FILE_SHARE_READ, ""},
        {"held open exclusively", DWORD(-1), "(error 32)"},  // a sharing violation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempLibrary library;
        const std::string before = CrLf({"name a", "[end]", "name b", "[end]"});
        Put(library, "Stock/held.stk", before);
        const std::string path = library.Path("Stock/held.stk");
        std::wstring wide = platform::win32::SystemPath(path);
        HANDLE other = INVALID_HANDLE_VALUE;
        if (c.share == 0) {
            ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
        } else {
            DWORD share = c.share == DWORD(-1) ? 0 : c.share;
            other = ::CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
            ASSERT_NE(other, INVALID_HANDLE_VALUE);
        }
        const DeleteResult result = testing::Delete(library.Root(), {{"a", Native("Stock/held.stk")}});
        ASSERT_EQ(result.problems.size(), 1u) << "the delete went on";
        EXPECT_NE(result.problems[0].find("\"" + path + "\""), std::string::npos)
            << result.problems[0];
        EXPECT_NE(result.problems[0].find(c.says), std::string::npos) << result.problems[0];
        EXPECT_EQ(result.notRemoved.size(), 1u);
        if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
        ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(library.Read("Stock/held.stk"), before);
        if (fs.KindOf(library.Path("backup/Stock/held.stk")) == platform::EntryKind::kFile) {
            EXPECT_EQ(library.Read("backup/Stock/held.stk"), before);
        }
    }
}

// A new file for a read-only one comes out read-only too. (What a backup
// keeps is tested with the removal, on both systems.)
TEST(WindowsFiles, ANewFileForAReadOnlyOneIsReadOnly) {
    TempLibrary library;
    Put(library, "Stock/two.stk", "x");
    std::string bytes;
    std::wstring wide = platform::win32::SystemPath(library.Path("Stock/two.stk"));
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    auto tree = fs.OpenTree(library.Root());
    auto copy = tree->Create("Stock/copy.stk", "testtest");
    copy->Write("x");
    EXPECT_EQ(copy->KeepAttributesOf(*tree->OpenForReading("Stock/two.stk"), false),
              std::vector<std::string>{});
    copy->Place();
    EXPECT_EQ(fs.ReadFileWithAttributes(library.Path("Stock/copy.stk"), bytes).permissions,
              0444u);
}

TEST(WindowsFiles, AJunctionBackUpTheTreeIsWalkedOnce) {
    TempLibrary library;
    Put(library, "Stock/Sub/a.stk", CrLf({"name a"}));
    std::wstring link = platform::win32::SystemPath(library.Path("Stock/Sub/Loop"));
    std::wstring target = platform::win32::SystemPath(library.Path("Stock"));
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "no folder links here (error " << ::GetLastError() << ")";
    }
    testing::RecordingProgress progress;
    std::vector<OlderItem> older;
    ASSERT_NO_THROW(older = CheckAndWriteReport(library.Root(), progress).olderItems);
    EXPECT_TRUE(older.empty()) << "a.stk read twice";
}

}  // namespace
}  // namespace corvane
