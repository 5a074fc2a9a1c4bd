// How the long commands (a check, a delete, a restore) tell their front end where they
// are. The front end decides how to show it; the core knows nothing of
// windows or consoles.
#pragma once

#include <cstddef>
#include <string>

#include "audit/findings.h"

namespace corvane {

class ProgressObserver {
  public:
    virtual ~ProgressObserver() = default;
    // Where the command is now: the folder being walked, the item being taken
    // out, the file being put back, "Finished" at the end. Shown at once.
    virtual void Status(const std::string& text) = 0;
    // The check has read another library file: the files read and the item
    // names met so far in this run.
    virtual void FileChecked(size_t /*files*/, size_t /*items*/) {}
};

}  // namespace corvane
