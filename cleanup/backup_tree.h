// The backup folder under the library root, as the delete and restore
// commands write to it. "backup/<relative path>" holds a library file as it
// was before the latest delete command that changed it. Nothing in the folder
// is ever overwritten or removed: a backup that a later command would replace
// is first moved to a name of its own beside it, "<path>.<id>" with the id of
// the command that made it ("<path>.earlier-<id>", with the id of the command
// that moved it, when no log names its maker). A restore keeps the file it
// replaces as "<path>.<id>" with its own id. Names already taken get "-2",
// "-3" and so on.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cleanup/command_log.h"
#include "platform/files.h"

namespace corvane {

inline constexpr const char* kBackupFolder = "backup";

// Creates the folders that relativePath lies in below root (ending in the
// separator), outermost first; its last part, a file name, is not created.
// Each must be a real folder: a link, even to a folder, or anything else in
// the way is an error that names it, since whatever we wrote there would land
// outside the library.
void MakeFolders(platform::FileSystem& fs, const std::string& root,
                 const std::string& relativePath);

class BackupTree {
  public:
    BackupTree(std::string libraryRoot, platform::FileSystem& fs);

    const std::string& LibraryRoot() const { return m_Root; }
    std::string FullPath(const std::string& relative) const { return m_Root + relative; }

    // "backup/<relative path>".
    static std::string BackupOf(const std::string& relativePath);
    static std::string DeleteLogOf(const std::string& id);
    static std::string RestoreLogOf(const std::string& id);

    struct LogName {
        bool restore;
        std::string id;
    };
    // The command logs in the backup folder, in the order of their commands.
    const std::vector<LogName>& Logs();
    // An id later than that of every logged command, for a command starting
    // at the given time.
    std::string NewCommandId(std::int64_t now);

    // base, or base with "-2", "-3"... added: the first at which nothing
    // stands (relative to the library root).
    std::string FreeName(const std::string& base);

    // The free name that whatever stands at the backup of relativePath moves
    // to before a new backup takes its place; empty when nothing stands
    // there. thisId is the id of the command that moves it.
    std::string NameForEarlierBackup(const std::string& relativePath, const std::string& thisId);

  private:
    struct Made {
        std::string id;
        std::string hashBefore;
    };
    void IndexDeleteLogs();

    std::string m_Root;
    platform::FileSystem& m_Fs;
    bool m_HaveLogs = false;
    std::vector<LogName> m_Logs;
    bool m_Indexed = false;
    std::map<std::string, std::vector<Made>> m_Makers;  // relative path -> oldest first
};

}  // namespace corvane
