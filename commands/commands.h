// The commands every front end runs on a library: a check (which writes the
// report), a delete and a restore. One command at a time per library: each
// runs under a LibraryLock, which no other Corvane command on that library,
// in this process or another, can take while it is held.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "audit/check_run.h"
#include "audit/findings.h"
#include "audit/progress.h"
#include "cleanup/delete_older.h"
#include "cleanup/restore.h"
#include "platform/files.h"

namespace corvane {

// Another Corvane command is working on the library.
class LibraryBusy : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Held while a command works on a library; the system lets go of it when the
// process ends, however it ends, and it leaves no file in the library.
class LibraryLock {
  public:
    // Locks the library whose root (ending in the separator) is libraryRoot;
    // LibraryBusy, saying that another Corvane command is working on it, when
    // one is.
    explicit LibraryLock(std::string libraryRoot,
                         platform::FileSystem& fs = platform::RealFileSystem());

    const std::string& Root() const { return m_Root; }
    platform::FileSystem& Fs() const { return m_Fs; }

  private:
    std::string m_Root;
    platform::FileSystem& m_Fs;
    std::unique_ptr<platform::FolderLock> m_Lock;
};

// The text of the error when another command holds the library.
std::string LibraryBusyText(const std::string& libraryRoot);

struct CheckResult {
    size_t filesRead = 0;
    size_t itemsRead = 0;
    std::vector<OlderItem> olderItems;
    size_t duplicates = 0;
    size_t syntaxErrors = 0;
    size_t missingTextures = 0;
    size_t missingComponents = 0;
    std::string reportPath;

    // The rows of the report besides its headings.
    size_t Rows() const { return duplicates + syntaxErrors + missingTextures + missingComponents; }
};

// Checks the library whose root (ending in the separator) is libraryRoot
// and writes its report into it; options.findings, when given, gets the
// findings too. A failure is the check's exception, after the report has been
// closed with a note that it did not finish. What RunCheckCommand runs under
// the library's lock.
CheckResult CheckAndWriteReport(const std::string& libraryRoot, ProgressObserver& progress,
                                const CheckOptions& options = {});
// The same on the locked library (its file system, not options.fs).
CheckResult RunCheckCommand(const LibraryLock& library, ProgressObserver& progress,
                            CheckOptions options = {});

DeleteResult RunDeleteCommand(const LibraryLock& library, const std::vector<OlderItem>& olderItems,
                              DeleteProgress& progress);

RestoreResult RunRestoreCommand(const LibraryLock& library, ProgressObserver& progress);

}  // namespace corvane
