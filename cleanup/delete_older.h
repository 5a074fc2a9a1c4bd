// The Delete older items command: takes every older duplicate that the last
// check queued out of its library file. Each file is first kept as it was in
// the backup tree under the library root, and a library file is only ever
// replaced in one atomic step, so that after a failure at any moment the file
// holds either its old or its new content.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "audit/check_state.h"
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

// Removes items for one Delete older items command. It remembers, for the
// length of the command, which files it has backed up (the backup holds each
// file as it was before the command) and which entries it has handled.
class ItemRemover {
  public:
    ItemRemover(std::string libraryRoot, platform::FileSystem& fs);

    // Takes every item named name out of the library file at relativePath.
    void RemoveItem(const std::string& name, const std::string& relativePath);

  private:
    void WriteBackup(const std::string& backupPath, std::string_view bytes);
    void ReplaceFile(const std::string& path, std::string_view bytes);

    std::string m_LibraryRoot;
    platform::FileSystem& m_Fs;
    std::unordered_set<std::string> m_BackedUp;               // relative paths
    std::set<std::pair<std::string, std::string>> m_Handled;  // name, relative path
};

void DeleteOlderItems(CheckState& state, ProgressDisplay& progress,
                      platform::FileSystem& fs = platform::RealFileSystem());

}  // namespace corvane
