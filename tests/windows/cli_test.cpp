// corvane-cli.exe in a console window of its own, and its resources. (The
// console tool's other cases run on both systems, in tests/cli.)
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/test_library.h"
#include "version.h"

namespace corvane {
namespace {

using testing::TempLibrary;

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
