// corvane-cli.exe under Wine: the report of the seven-line example byte for
// byte, with the separator of Windows, a check and delete of the sample
// library, a check in a console window, and its resources. (The console
// tool's other cases run on POSIX, in tests/cli.)
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/test_library.h"
#include "version.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

testing::ProgramResult Cli(const TempLibrary& scratch, const std::vector<std::string>& args) {
    return testing::RunProgram(testing::HostPath(CORVANE_CLI), args, scratch);
}

TEST(WindowsCli, TwoCopiesOfAnItemGiveTheSevenLinesWithBackslashes) {
    TempLibrary scratch;
    scratch.Write("lib/Stock/a.stk", CrLf({"name coach", "[end]"}), "2010-03-03 09:05");
    scratch.Write("lib/Stock/b.stk", CrLf({"name coach", "[end]"}), "2012-01-01 10:00");
    testing::ProgramResult result = Cli(scratch, {"check", scratch.Path("lib")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(scratch.Read("lib/Corvane.htm"),
              "<h1>Corvane</h1>\r\n"
              "<font face=\"arial narrow\"><table><tr><td colspan=\"3\"><h2>Stock</h2>\r\n"
              "</td></tr><tr><td>coach</td><td>Stock\\b.stk</td><td><font color=\"red\">"
              "Stock\\a.stk</font></td></tr><tr><td colspan=\"3\"><h2>Scenery</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>Signals</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>Track</h2>\r\n"
              "</td></tr><tr><td colspan=\"3\"><h2>OHLE</h2>\r\n"
              "</td></tr></table><font color=\"red\">Red file is <b>older</b></font><br></font>");
}

TEST(WindowsCli, CheckDeleteAndRestoreOnTheSampleLibrary) {
    TempLibrary scratch;
    testing::PrepareSample(CORVANE_SAMPLE, scratch.Path("sample library"));
    const std::string library = scratch.Path("sample library");
    const testing::Tree original = testing::TreeOf(library, true);
    testing::ProgramResult check = Cli(scratch, {"check", library});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("Older duplicates:   3\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Report:             " + library + "\\Corvane.htm\n"),
              std::string::npos)
        << check.out;

    testing::ProgramResult del = Cli(scratch, {"check", "--delete", library});
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_NE(del.out.find("Items removed:      3\n"), std::string::npos) << del.out;
    EXPECT_EQ(del.out.find('/'), std::string::npos) << "every path in Windows form: " << del.out;
    EXPECT_TRUE(scratch.Exists("sample library/backup/Stock/Coaches/mk1_old.stk"));
    EXPECT_FALSE(scratch.Exists("sample library/Stock/Coaches/mk1_old.stk"));
    // A second delete takes the rest of walls.stc, whose first backup moves
    // aside; two restores give back the library, bytes and times.
    const testing::Tree afterFirst = testing::TreeOf(library, true);
    // (Newer than walls.stc, which the first delete rewrote.)
    scratch.Write("sample library/Scenery/Walls/walls_v3.stc",
                  testing::CrLf({"name Wall2", "[end]"}), "2030-01-01 00:00");
    const testing::Tree beforeSecond = testing::TreeOf(library, true);
    ASSERT_EQ(Cli(scratch, {"check", "--delete", library}).status, 0);
    EXPECT_FALSE(scratch.Exists("sample library/Scenery/Walls/walls.stc"));
    for (const testing::Tree* expected : {&beforeSecond, &original}) {
        testing::ProgramResult restore = Cli(scratch, {"restore", library});
        EXPECT_EQ(restore.status, 0) << restore.err;
        EXPECT_EQ(restore.out.find('/'), std::string::npos) << restore.out;
        testing::Tree now = testing::TreeOf(library, true);
        if (expected == &original) now.erase("Scenery/Walls/walls_v3.stc");
        EXPECT_EQ(now, *expected);
    }
    EXPECT_NE(afterFirst, original);

    // Errors name the file, in Windows' words.
    scratch.MakeFolder("lib/Stock");
    scratch.MakeFolder("lib/Corvane.htm");
    testing::ProgramResult failed = Cli(scratch, {"check", scratch.Path("lib")});
    EXPECT_EQ(failed.status, 1);
    // (Built up step by step: GCC 12 warns wrongly on "..." + a temporary.)
    std::string named = "\"";
    named += scratch.Path("lib/Corvane.htm");
    named += "\": a folder stands in its place";
    EXPECT_NE(failed.err.find(named), std::string::npos) << failed.err;
}

// Runs corvane-cli.exe check on library with stdout and stderr on a console of
// this process's own, as in a console window, and gives what the console
// shows afterwards: its lines, without trailing blanks, joined by "\n".
std::string OnConsole(const std::string& library) {
    HANDLE standard[] = {::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
                         ::GetStdHandle(STD_ERROR_HANDLE)};
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
    ::SetStdHandle(STD_INPUT_HANDLE, standard[0]);
    ::SetStdHandle(STD_OUTPUT_HANDLE, standard[1]);
    ::SetStdHandle(STD_ERROR_HANDLE, standard[2]);
    return shown;
}

// Wine's console takes the mode for control sequences and still prints them:
// the live line must not leave them, or any of its text, on the screen.
TEST(WindowsCli, InAConsoleTheProgressLineLeavesOnlyTheResult) {
    TempLibrary scratch;
    testing::PrepareSample(CORVANE_SAMPLE, scratch.Path("lib"));
    const std::string shown = OnConsole(scratch.Path("lib"));
    testing::ProgramResult piped = Cli(scratch, {"check", scratch.Path("lib")});
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
