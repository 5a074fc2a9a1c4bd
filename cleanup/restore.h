// Undoing delete commands. Each restore undoes the latest delete command that
// no restore has undone yet, from the command's log and the backups it names;
// the next one undoes the delete before it, and so on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audit/progress.h"
#include "cleanup/command_log.h"
#include "platform/files.h"

namespace corvane {

// One delete command a restore worked on.
struct UndoneDelete {
    std::string deleteId;
    std::string restoreId;
    std::vector<RestoreLog::File> files;     // put back, or found already back
    std::vector<RestoreLog::Failed> failed;  // not put back
    bool retry = false;       // the files an earlier restore could not put back were tried again
    bool passedOver = false;  // those that still fail are given up for good
};

struct RestoreResult {
    // Logs in the backup folder that are not whole logs of ours: passed
    // over, each with why.
    std::vector<std::pair<std::string, std::string>> refused;
    // The delete commands worked on, latest first: at most one given up and
    // the one undone after it.
    std::vector<UndoneDelete> deletes;
    std::vector<std::string> warnings;  // what could not be kept of a file
    std::string failure;                // an error that stopped the restore

    bool Failed() const;
};

// The delete command the next restore works on, for a front end to offer.
struct UndoOffer {
    std::string deleteId;
    size_t items = 0;
    size_t files = 0;
    bool retry = false;  // only files an earlier restore could not put back are left
};
std::optional<UndoOffer> NextUndo(const std::string& libraryRoot,
                                  platform::FileSystem& fs = platform::RealFileSystem());

// Undoes the latest delete command on the library whose root (ending in the
// separator) is libraryRoot. Every file that the command changed or removed
// gets back the bytes, last-write time and permissions of its backup (found
// by its size and bytes where the log names it, or where a later delete moved
// it), each put in place by one rename; folders removed since are made again.
// Whatever stands at a library file's path is kept first as
// "backup/<this restore's id>/<path>"; a file that is already as it was
// before the command is left alone, as is one that changes while the restore
// runs. The restore writes its log, "backup/restore-<id>.log", before the
// first library file changes, and marks it done at the end: a restore cut
// short leaves the command to be undone by the next one, which finishes the
// job.
//
// A file that cannot be put back is named and the others are restored; the
// next restore tries those files again, and when they still cannot be put
// back, gives them up and goes on to the delete before. A log that is not a
// whole log of ours is named and passed over. The status shows each file.
RestoreResult RestoreLatestDelete(const std::string& libraryRoot, ProgressObserver& progress,
                                  platform::FileSystem& fs = platform::RealFileSystem());

// What a restore did, one line each, for a front end to show; paths in the
// system's form.
std::vector<std::string> DescribeRestore(const RestoreResult& result);

}  // namespace corvane
