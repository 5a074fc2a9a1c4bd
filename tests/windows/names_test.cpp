// What only Windows has: names the Win32 path rules would bend, the system
// code page of the report, read-only files, files held open by another
// program, folder junctions; corvane-cli.exe in a console window of its own,
// and its resources. Run under Wine. (The console tool's other cases run on
// both systems, in tests/cli.)
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/test_library.h"
#include "version.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::Native;
using testing::TempLibrary;

platform::FileSystem& fs = platform::RealFileSystem();

// Names of files and of the textures they name, in the system code page.
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
        testing::Put(library.Root(), c.path, CrLf({name, "[end]"}));  // names as they stand
        testing::SetStamp(library.Path(c.path), "2010-01-01 00:00");
        newer += CrLf({name, "[end]"});
    }
    library.Write("Stock/zz.stk", newer, "2011-01-01 00:00");
    // Textures named in the bytes their author's system wrote, looked up in
    // the system code page.
    library.Write("Scenery/caf\u00e9.bmp", "BM");
    library.Write("Scenery/a.stc", CrLf({"name a", "skin caf\xe9", "skin gone\xe9"}));

    testing::RecordingProgress progress;
    std::vector<OlderItem> older = CheckAndWriteReport(library.Root(), progress).olderItems;
    const std::string report = library.Report();
    for (const Case& c : cases) {
        EXPECT_NE(report.find("<font color=\"red\">" + std::string(c.inReport) + "</font>"),
                  std::string::npos)
            << c.path;
    }
    EXPECT_EQ(report.find("caf\xe9.bmp</font>"), std::string::npos);
    EXPECT_NE(report.find("gone\xe9.bmp</font>"), std::string::npos);
    ASSERT_EQ(older.size(), size_t(item));

    EXPECT_FALSE(testing::Delete(library.Root(), older).Failed());
    auto kind = [&](const std::string& path) { return fs.KindOf(library.Path(path)); };
    for (const Case& c : cases) {
        EXPECT_EQ(kind(c.path), platform::EntryKind::kMissing) << c.path;
        EXPECT_EQ(kind(std::string("backup/") + c.path), platform::EntryKind::kFile) << c.path;
    }
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
        library.Write("Stock/held.stk", before);
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
        const DeleteResult result =
            testing::Delete(library.Root(), {{"a", Native("Stock/held.stk")}});
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
    library.Write("Stock/two.stk", "x");
    std::string bytes;
    std::wstring wide = platform::win32::SystemPath(library.Path("Stock/two.stk"));
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    auto tree = fs.OpenTree(library.Root());
    auto copy = tree->Create("Stock/copy.stk", "testtest");
    copy->Write("x");
    EXPECT_EQ(copy->KeepAttributesOf(*tree->OpenForReading("Stock/two.stk"), false),
              std::vector<std::string>{});
    copy->Place();
    EXPECT_EQ(fs.ReadFileWithAttributes(library.Path("Stock/copy.stk"), bytes).permissions, 0444u);
}

TEST(WindowsFiles, AJunctionBackUpTheTreeIsWalkedOnce) {
    TempLibrary library;
    library.Write("Stock/Sub/a.stk", CrLf({"name a"}));
    if (!testing::MakeLink(library.Path("Stock"), library.Path("Stock/Sub/Loop"), true)) {
        GTEST_SKIP() << "no folder link made here";
    }
    testing::RecordingProgress progress;
    std::vector<OlderItem> older;
    ASSERT_NO_THROW(older = CheckAndWriteReport(library.Root(), progress).olderItems);
    EXPECT_TRUE(older.empty()) << "a.stk read twice";
}

// Runs corvane-cli.exe check on library with stdout and stderr on a console of
// this process's own, as in a console window, and gives what the console
// shows afterwards: its lines, without trailing blanks, joined by "\n".
std::string OnConsole(const std::string& library) {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE standard[3];
    for (int i = 0; i < 3; ++i) standard[i] = ::GetStdHandle(ids[i]);
    ::FreeConsole();
    if (!::AllocConsole()) return "no console";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE screen =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, OPEN_EXISTING, 0, nullptr);
    ::SetConsoleScreenBufferSize(screen, COORD{400, 50});  // no result line wraps
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = screen;
    std::wstring commandLine = L"\"" + platform::win32::Wide(testing::HostPath(CORVANE_CLI)) +
                               L"\" check \"" + platform::win32::Wide(library) + L"\"";
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ::GetConsoleScreenBufferInfo(screen, &info);
    std::string shown;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::wstring row(info.dwSize.X, L' ');
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(screen, row.data(), DWORD(row.size()), COORD{0, y}, &read);
        row.erase(row.find_last_not_of(L' ') + 1);
        if (y) shown += '\n';
        shown += platform::win32::Utf8(row);
    }
    ::CloseHandle(screen);
    ::FreeConsole();
    for (int i = 0; i < 3; ++i) ::SetStdHandle(ids[i], standard[i]);
    return shown;
}

// Wine's console takes the mode for control sequences and still prints them:
// the live line must not leave them, or any of its text, on the screen.
TEST(WindowsCli, InAConsoleTheProgressLineLeavesOnlyTheResult) {
    TempLibrary scratch;
    testing::PrepareSample(scratch.Path("lib"));
    const std::string shown = OnConsole(scratch.Path("lib"));
    testing::ProgramResult piped = testing::RunProgram(CORVANE_CLI, {"check", scratch.Path("lib")});
    EXPECT_EQ(shown, piped.out);
}

// The console tool carries the dialog's manifest and the project version.
TEST(WindowsCli, VersionAndManifestOfTheDialog) {
    const std::wstring cli = platform::win32::Wide(testing::HostPath(CORVANE_CLI));
    HMODULE module = ::LoadLibraryExW(cli.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    auto manifest = [](HMODULE from) {
        HRSRC found = ::FindResourceW(from, MAKEINTRESOURCEW(1), RT_MANIFEST);
        if (!found) return std::string();
        return std::string(static_cast<const char*>(::LockResource(::LoadResource(from, found))),
                           ::SizeofResource(from, found));
    };
    EXPECT_EQ(manifest(module), manifest(nullptr));  // this program has the dialog's
    ::FreeLibrary(module);

    std::string block(::GetFileVersionInfoSizeW(cli.c_str(), nullptr), '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(cli.c_str(), 0, DWORD(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD(CORVANE_VERSION_MAJOR << 16 | CORVANE_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD(CORVANE_VERSION_PATCH << 16 | CORVANE_VERSION_TWEAK));
}

}  // namespace
}  // namespace corvane
