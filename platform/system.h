// Clock, process and terminal facts that the front ends and the walk need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::platform {

// A moment as the local wall clock shows it, under the rules in force on its
// date (summer time included).
struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
};
// Nothing when the system cannot tell.
std::optional<LocalTime> LocalTimeOf(std::int64_t secondsSinceEpoch);

// The folder that holds the running executable, ending in the separator.
std::string ExecutableFolder();

// An absolute form of path (not resolving links), as the working folder sees it.
std::string AbsolutePath(const std::string& path);

// What the terminal on fd, if it is one, does with a line redrawn in place.
enum class Terminal {
    kNone,       // not a terminal: a pipe or a file
    kPlain,      // a carriage return, but no control sequences (an older console)
    kSequences,  // the control sequence that erases to the end of the line too
};
// On Windows this turns on the console's virtual-terminal processing where
// the console offers it.
Terminal TerminalOn(int fd);

// The width in columns of the terminal on fd; 0 when it is none or does not
// say.
unsigned TerminalColumns(int fd);

// Opens a document with the program the desktop has for its type, without a
// command processor in between; false when no program could be started.
bool OpenDocument(const std::string& path);

}  // namespace corvane::platform
