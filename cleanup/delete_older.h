// The Delete older items command: takes every older duplicate that a check
// found out of its library file. Each file is first kept as it was in
// the backup tree under the library root (see cleanup/backup_tree.h), the
// backups and the command's log are on the disk before the library file
// changes, and a library file is only ever replaced in one atomic step: after
// a failure at any moment the file holds either its old or its new content,
// and the command can be undone (cleanup/restore.h).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "audit/findings.h"
#include "audit/progress.h"
#include "cleanup/backup_tree.h"
#include "cleanup/command_log.h"
#include "platform/files.h"

namespace corvane {

// The copy of a library file without the items of one name. Each item that
// comes out (from its name line to its "[end]" line, or up to the next name
// line when "[end]" is missing) leaves one empty line; every other line is
// kept as it was read. Lines end in CR LF.
struct ItemRemoval {
    std::string copy;
    bool otherItem = false;  // the file still holds an item of another name
};
ItemRemoval CopyWithoutItem(std::string_view bytes, std::string_view name);

// Removes items for one Delete older items command. Removals are made in
// memory, each on the file as the removals before it left it. At the first
// removal from a file, whatever stands at its backup's path (an earlier
// backup) moves to a name of its own, and the backup (the file as it was
// before the command: bytes, last-write time, permissions, owner) is written
// beside its place. Commit() then puts them on the disk in a few rounds, so
// that the disk is flushed a few times per command rather than a few times
// per item: the copies of the library files (keeping each file's permissions
// and owner), the backups and the command's log are written and made
// durable; then the backups and the log take their places and are made
// durable; then each copy takes its file's place in one rename (or the file
// leaves the library when no item is left in it).
class ItemRemover {
  public:
    ItemRemover(std::string libraryRoot, platform::FileSystem& fs);
    ItemRemover(const ItemRemover&) = delete;
    ItemRemover& operator=(const ItemRemover&) = delete;
    // Temporary files of removals never committed are discarded.
    ~ItemRemover();

    // Takes every item named name out of the library file at relativePath.
    void RemoveItem(const std::string& name, const std::string& relativePath);

    // Puts every removal made so far on the disk, and the command's log,
    // "backup/delete-<id>.log", which each Commit() brings up to date.
    void Commit();

    // The command's id, once a removal has given it one.
    const std::string& CommandId() const { return m_Log.id; }

  private:
    struct PendingFile {
        std::string relativePath;
        std::string content;                  // as the removals so far leave it
        platform::FileAttributes attributes;  // of the file as it was read
        bool otherItem = false;               // content still holds an item of another name
        std::unique_ptr<platform::OutputFile> backup;  // written, not yet in its place
    };

    std::unique_ptr<platform::OutputFile> WriteFile(const std::string& relative,
                                                    std::string_view bytes);

    BackupTree m_Backups;
    platform::FileSystem& m_Fs;
    std::vector<PendingFile> m_Pending;                       // in the order first touched
    std::unordered_map<std::string, size_t> m_PendingIndex;   // relative path -> m_Pending
    std::set<std::pair<std::string, std::string>> m_Handled;  // name, relative path
    DeleteLog m_Log;
    std::unordered_map<std::string, size_t> m_LogIndex;  // relative path -> m_Log.files
    bool m_LogPlaced = false;
};

// Takes each older item of the list out of its file, in order, showing each
// ("<name> in <file>") and reporting each removal with the count left. On an
// error the removals before the failing item still take effect, and the
// error passes to the caller. Gives the command's id, which names its log
// "backup/delete-<id>.log" (empty when nothing was removed).
std::string DeleteOlderItems(const std::string& libraryRoot,
                             const std::vector<OlderItem>& olderItems, ProgressObserver& progress,
                             platform::FileSystem& fs = platform::RealFileSystem());

}  // namespace corvane
