#include <io.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/win32.h"

namespace corvane::platform {

std::optional<LocalTime> LocalTimeOf(std::int64_t secondsSinceEpoch) {
    // The local time of that moment under the rules in force on its date, as
    // the POSIX build gives it; FileTimeToLocalFileTime would apply today's
    // offset to every date.
    using win32::kEpochDifference;
    if (secondsSinceEpoch < -kEpochDifference) return std::nullopt;
    std::uint64_t ticks = std::uint64_t(secondsSinceEpoch + kEpochDifference) * 10000000;
    FILETIME utcTime{DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME utc, local;
    if (!::FileTimeToSystemTime(&utcTime, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return std::nullopt;
    }
    return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

std::string ExecutableFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) {
            throw FileError("find the folder of", "the program",
                            win32::ErrorText(::GetLastError()));
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(FolderOf(win32::Utf8(buffer)));
}

std::string AbsolutePath(const std::string& path) {
    std::wstring wide = win32::Wide(path);
    DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return win32::Utf8(full);
}

unsigned TerminalColumns(int fd) {
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(handle, &info)) return 0;
    return unsigned(info.srWindow.Right - info.srWindow.Left + 1);
}

bool OpenDocument(const std::string& path) {
    std::wstring wide = win32::Wide(path);
    HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

Terminal TerminalOn(int fd) {
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return Terminal::kNone;
    // Windows 10 and later take the sequences once asked to; older consoles
    // refuse the mode.
    if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        !::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return Terminal::kPlain;
    }
    // Some consoles accept the mode and still print the sequences as text
    // (Wine's does). One that takes them leaves the cursor where it is for
    // ESC[K, which only erases what stands right of the cursor; where the
    // three characters were printed instead, they are blanked, the cursor
    // put back and the mode restored.
    CONSOLE_SCREEN_BUFFER_INFO before, after;
    DWORD written = 0;
    if (!::GetConsoleScreenBufferInfo(handle, &before) ||
        !::WriteConsoleW(handle, L"\x1b[K", 3, &written, nullptr) ||
        !::GetConsoleScreenBufferInfo(handle, &after)) {
        return Terminal::kPlain;
    }
    if (after.dwCursorPosition.X == before.dwCursorPosition.X &&
        after.dwCursorPosition.Y == before.dwCursorPosition.Y) {
        return Terminal::kSequences;
    }
    ::FillConsoleOutputCharacterW(handle, L' ', 3, before.dwCursorPosition, &written);
    ::SetConsoleCursorPosition(handle, before.dwCursorPosition);
    ::SetConsoleMode(handle, mode);
    return Terminal::kPlain;
}

}  // namespace corvane::platform
