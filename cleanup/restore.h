// Undoing delete commands. Each restore undoes the latest delete command that
// no restore has undone yet, from the command's log and the backups it names;
// the next one undoes the delete before it, and so on.
#pragma once

#include <string>
#include <vector>

#include "cleanup/command_log.h"
#include "platform/files.h"

namespace corvane {

struct RestoreResult {
    std::string deleteId;   // the delete command undone; empty when none was left
    std::string restoreId;  // this restore's own id
    std::vector<RestoreLog::File> files;
};

// Undoes the latest delete command on the library whose root (ending in the
// separator) is libraryRoot. Every file that the command changed or removed
// gets back the bytes, last-write time and permissions of its backup (found
// by its bytes, where the log names it or moved aside beside it), each put in
// place by one rename. Whatever stands at a library file's path is kept first
// in the backup folder as "backup/<relative path>.<this restore's id>"; a
// file that is already as it was before the command is left alone. The
// restore writes its own log, "backup/restore-<id>.log", before the first
// library file changes, and marks it done at the end: a restore cut short
// leaves the command to be undone by the next one, which finishes the job.
// A file error ends it, with every library file old or new; a missing backup
// ends it before any library file changes.
RestoreResult RestoreLatestDelete(const std::string& libraryRoot,
                                  platform::FileSystem& fs = platform::RealFileSystem());

// What a restore did, one line each, for a front end to show.
std::vector<std::string> DescribeRestore(const RestoreResult& result);

}  // namespace corvane
