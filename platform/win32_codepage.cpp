#include <io.h>

#include "platform/codepage.h"
#include "platform/wide.h"
#include "platform/win32.h"
#include "text/text.h"

namespace corvane::platform {

namespace {

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string Utf8OfCodePage(std::string_view text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), n);
    return win32::Utf8(wide);
}

}  // namespace

void AppendInCodePage(std::string& out, std::string_view name, UnheldCharacter unheld) {
    const UINT codePage = ::GetACP();
    if (codePage == CP_UTF8 || IsAscii(name)) {
        out.append(name);
        return;
    }
    ForEachCodePoint(name, [&](char32_t c) {
        if (c < 0x80) {
            out += char(c);
            return;
        }
        wchar_t wide[2];
        int units = 1;
        if (c >= 0x10000) {
            wide[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
            wide[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            units = 2;
        } else {
            wide[0] = wchar_t(c);
        }
        char bytes[8];
        BOOL defaulted = FALSE;
        int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                      sizeof bytes, nullptr, &defaulted);
        if (n <= 0 || defaulted) {
            unheld(out, c);
        } else {
            out.append(bytes, size_t(n));
        }
    });
}

std::string_view FileNameOfText(std::string_view text, std::string& buffer) {
    if (IsAscii(text) || ::GetACP() == CP_UTF8) return text;
    buffer = Utf8OfCodePage(text);
    return buffer;
}

std::string DisplayText(std::string_view text) {
    if (IsAscii(text) || text::IsUtf8(text)) return std::string(text);
    return Utf8OfCodePage(text);
}

void WriteText(std::FILE* stream, std::string_view text) {
    std::string utf8 = DisplayText(text);
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        std::wstring wide = win32::Wide(utf8);
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(win32::Utf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

}  // namespace corvane::platform
