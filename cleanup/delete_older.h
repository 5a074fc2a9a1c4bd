// The Delete older items command: takes every older duplicate that a check
// found out of its library file. Each file is first kept as it was in
// the backup tree under the library root, the backup is on the disk before
// the library file changes, and a library file is only ever replaced in one
// atomic step: after a failure at any moment the file holds either its old or
// its new content.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "audit/findings.h"
#include "audit/progress.h"
#include "platform/files.h"

namespace corvane {

inline constexpr const char* kBackupFolder = "backup";

// Creates every folder that path lies in, outermost first; the last part of
// path, a file name, is not created. Fails when a folder cannot be created.
void MakeFolders(platform::FileSystem& fs, const std::string& path);

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
// memory, each on the file as the removals before it left it, and the backup
// of each file (the file as it was before the command) is written beside its
// place at the first removal from it. Commit() then puts them on the disk in
// a few rounds, so that the disk is flushed a few times per command rather
// than a few times per item: first every backup, made durable and moved into
// place; then the copies of the library files, made durable, each taking its
// file's place in one rename (or the file leaves the library when no item is
// left in it).
class ItemRemover {
  public:
    ItemRemover(std::string libraryRoot, platform::FileSystem& fs);
    ItemRemover(const ItemRemover&) = delete;
    ItemRemover& operator=(const ItemRemover&) = delete;
    // Temporary files of removals never committed are discarded.
    ~ItemRemover();

    // Takes every item named name out of the library file at relativePath.
    void RemoveItem(const std::string& name, const std::string& relativePath);

    // Puts every removal made so far on the disk.
    void Commit();

  private:
    struct PendingFile {
        std::string relativePath;
        std::string content;         // as the removals so far leave it
        bool otherItem = false;      // content still holds an item of another name
        bool backupWaiting = false;  // its backup stands beside its place
        bool copyWritten = false;    // its new content stands beside it
    };

    std::string LibraryPath(const PendingFile& file) const;
    std::string BackupPath(const PendingFile& file) const;
    void WriteFile(const std::string& path, std::string_view bytes);
    void DiscardTemporaryFiles();

    std::string m_LibraryRoot;
    platform::FileSystem& m_Fs;
    std::vector<PendingFile> m_Pending;                       // in the order first touched
    std::unordered_map<std::string, size_t> m_PendingIndex;   // relative path -> m_Pending
    std::unordered_set<std::string> m_BackedUp;               // relative paths, this command
    std::set<std::pair<std::string, std::string>> m_Handled;  // name, relative path
};

// Takes each older item of the list out of its file, in order, showing each
// ("<name> in <file>") and reporting each removal with the count left. On an
// error the removals before the failing item still take effect, and the
// error passes to the caller.
void DeleteOlderItems(const std::string& libraryRoot, const std::vector<OlderItem>& olderItems,
                      ProgressObserver& progress,
                      platform::FileSystem& fs = platform::RealFileSystem());

}  // namespace corvane
