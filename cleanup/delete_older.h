// The Delete older items command: takes every older duplicate that a check
// found out of its library file. Each file is first kept as it was in the
// backup tree under the library root (see cleanup/backup_tree.h); the
// backups and the command's log are on the disk before the first library
// file changes, and a library file is only ever replaced in one atomic step,
// and only while it is still the file that was read: after a failure or a
// kill at any moment every file holds either its old or its new content, an
// edit made meanwhile is kept, and the command can be undone
// (cleanup/restore.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "audit/findings.h"
#include "audit/progress.h"
#include "platform/files.h"

namespace corvane {

// The copy of a library file without the items of the names given (compared
// without regard to case), in one pass however many they are. Each item that
// comes out (from its name line to its "[end]" line, or up to the next name
// line when "[end]" is missing) leaves one empty line; every other line is
// kept as it was read. Lines end in CR LF.
struct ItemRemoval {
    std::string copy;
    bool otherItem = false;  // the file still holds an item of another name
};
ItemRemoval CopyWithoutItems(std::string_view bytes, const std::vector<std::string>& names);

// How the delete command tells its front end where it is.
class DeleteProgress : public ProgressObserver {
  public:
    // The older item is out of the library: its file was rewritten or
    // removed. left is how many items of the list are still in.
    virtual void ItemRemoved(const OlderItem& /*item*/, size_t /*left*/) {}
};

struct DeleteResult {
    std::string id;                     // the command's; empty when it wrote nothing
    std::vector<OlderItem> removed;     // taken out, in the order of the list
    size_t filesChanged = 0;            // rewritten or removed
    std::vector<OlderItem> notRemoved;  // still in the library, the failing one first
    // What stopped it, one text each naming the file (a file that changed
    // since it was read, one that could not be read or replaced); empty when
    // every item was taken out.
    std::vector<std::string> problems;
    // What could not be kept of a file (an attribute the file system would
    // not take).
    std::vector<std::string> warnings;

    bool Failed() const { return !problems.empty(); }
};

// Takes each older item of the list out of its file. Items are taken file by
// file, in the order the list first names each file; the status shows each
// item ("<name> in <file>") as its removal is planned, and ItemRemoved tells
// of each once its file is written. A file that cannot be read ends the
// planning there: the files before it are still changed. A file that changed
// since it was read is left as it is, its items with it, as is one that
// cannot be replaced; the others still are. Shows "Finished" when every item
// is out.
DeleteResult DeleteOlderItems(const std::string& libraryRoot,
                              const std::vector<OlderItem>& olderItems, DeleteProgress& progress,
                              platform::FileSystem& fs = platform::RealFileSystem());

}  // namespace corvane
