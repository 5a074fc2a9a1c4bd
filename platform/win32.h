// What the Win32 implementation files share: the conversion of our UTF-8
// paths to the wide paths the system takes, and the texts of its errors. Only
// platform/win32_*.cpp include this.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format off
#include <shellapi.h>  // after windows.h, which it needs
// clang-format on

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::platform::win32 {

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
inline constexpr std::int64_t kEpochDifference = 11644473600;

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The wide form of a path for the file APIs. An absolute path gets the
// "\\?\" prefix, after its "." and ".." parts are resolved, so that every
// name is taken as it stands: "CON.stk" is a file and not the console, a
// trailing dot or space is part of the name, and no length limit applies.
// "/" is taken as "\".
std::wstring SystemPath(std::string_view path);

// Why an operation failed, from its error code, in words that fit after
// "Cannot <operation> "<path>": ".
std::string ErrorText(DWORD error);

// Closes a handle when it goes.
class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : m_Handle(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    HANDLE Get() const { return m_Handle; }
    bool Valid() const { return m_Handle != INVALID_HANDLE_VALUE && m_Handle != nullptr; }
    HANDLE Release() {
        HANDLE handle = m_Handle;
        m_Handle = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool Close() {
        bool closed = true;
        if (Valid()) closed = ::CloseHandle(m_Handle) != 0;
        m_Handle = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE m_Handle;
};

}  // namespace corvane::platform::win32
