// Texts on their way between the library, the file system and the user.
// Names taken from the file system are held as UTF-8; texts read from library
// files are bytes in the system code page, as the programs that wrote them
// left them. Where the two are one (POSIX), every function here hands its
// text on unchanged.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// Appends a name taken from the file system in the system code page. A
// character that the code page cannot hold goes to unheld, which appends what
// stands for it.
using UnheldCharacter = void (*)(std::string& out, char32_t c);
void AppendInCodePage(std::string& out, std::string_view name, UnheldCharacter unheld);

// A text from a library file as a file name to look for: text itself, or its
// conversion made in buffer.
std::string_view FileNameOfText(std::string_view text, std::string& buffer);

// A text for the user's eyes (a status line, a message) as UTF-8: valid UTF-8
// stays as it is, anything else is read in the system code page (POSIX: as
// Latin-1, one character per byte).
std::string DisplayText(std::string_view text);

// Writes text, UTF-8 or library bytes, to stdout or stderr: as characters on
// a console, as UTF-8 bytes anywhere else.
void WriteText(std::FILE* stream, std::string_view text);

// The program's arguments as UTF-8, without the program's own name.
std::vector<std::string> Arguments(int argc, char** argv);

}  // namespace corvane::platform
