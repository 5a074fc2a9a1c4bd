// Which library the dialog opens on: the folder named on the command line,
// else the program's own folder when it is a library, else a folder the user
// chooses.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/files.h"

namespace corvane::app {

struct LibraryChoice {
    std::string root;        // ends in the separator
    bool ownFolder = false;  // the library is the folder that holds the program
};

// Asks the user for the library's top folder; nothing when the user cancels.
using FolderChooser = std::function<std::optional<std::string>()>;
// Tells the user why a folder cannot be checked.
using ProblemSink = std::function<void(const std::string& text)>;

// argument: the LIBRARY_ROOT given on the command line, if any. Nothing when
// the named folder cannot be checked (told to showProblem) or the user
// cancelled the chooser. A chosen folder that cannot be checked is told to
// showProblem and the chooser asked again.
std::optional<LibraryChoice> ChooseLibrary(const std::optional<std::string>& argument,
                                           const std::string& programFolder,
                                           const FolderChooser& choose,
                                           const ProblemSink& showProblem,
                                           platform::FileSystem& fs = platform::RealFileSystem());

}  // namespace corvane::app
