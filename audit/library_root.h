// Whether a folder can be checked as a library. The front ends ask before
// anything is written into it, so that a mistyped path neither gets a report
// nor passes for an empty library.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace corvane {

// The report a check writes into the library's top folder.
inline constexpr const char* kReportName = "Corvane.htm";

enum class LibraryRootProblem { kNone, kMissing, kNotAFolder, kNoCategoryFolder };

// kNone when root is a folder that holds at least one of the five category
// folders, its name in any letter case. A folder that cannot be read is an
// error (platform::FileError).
LibraryRootProblem ExamineLibraryRoot(const std::string& root,
                                      platform::FileSystem& fs = platform::RealFileSystem());

// The error text for a problem: names the folder and, when it holds no
// category folder, the five names.
std::string LibraryRootProblemText(LibraryRootProblem problem, std::string_view root);

// The folder as a person reads it: without the separator at its end, unless
// it is the top of the file system.
std::string_view FolderDisplayName(std::string_view root);

}  // namespace corvane
