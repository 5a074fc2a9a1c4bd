// Clock, process and terminal facts that the front ends and the walk need.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// A file's item stamp: its last-write time as local wall-clock time, made by
// "%04d%02d%02d%02d%02d" from year, month, day, hour and minute.
std::string ItemStamp(std::int64_t lastWriteTime);

// The folder that holds the running executable, ending in the separator.
std::string ExecutableFolder();

// An absolute form of path (not resolving links), as the working folder sees it.
std::string AbsolutePath(const std::string& path);

bool IsTerminal(int fd);

// The width in columns of the terminal on fd; 0 when it is none or does not
// say.
unsigned TerminalColumns(int fd);

}  // namespace corvane::platform
