// The backup folder under the library root, as the delete and restore
// commands write to it. "backup/<path>" holds a library file as it was before
// the latest delete command that changed it. Nothing in the folder is ever
// overwritten or removed: a backup that a later command would replace first
// moves to "backup/<id>/<path>", named after the delete that made it
// ("backup/earlier-<id>/<path>", after the command that moved it, when no log
// names its maker); a restore keeps what stood in a library file's place as
// "backup/<its own id>/<path>". Kept copies thus keep their names, so a file
// whose name is as long as names may be can be kept as often as it changes.
//
// Every folder under "backup" must be a real folder, for reading as for
// writing; every path is a plain relative path (IsPlainRelativePath).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cleanup/command_log.h"
#include "platform/files.h"

namespace corvane {

inline constexpr const char* kBackupFolder = "backup";

class BackupTree {
  public:
    explicit BackupTree(platform::ContainedTree& tree) : m_Tree(tree) {}

    platform::ContainedTree& Tree() { return m_Tree; }

    // "backup/<path>".
    static std::string BackupOf(std::string_view path);
    static std::string DeleteLogOf(std::string_view id);
    static std::string RestoreLogOf(std::string_view id);
    // "backup/<id>/<path>": the backup of the delete id, moved aside by a
    // later one, or what a restore id found in the file's place.
    static std::string KeptOf(std::string_view id, std::string_view path);
    // "backup/running-<id>.txt": the list of a command's temporary files.
    static std::string TemporariesOf(std::string_view id);

    struct LogName {
        bool restore;
        std::string id;
        std::string path;  // relative to the library root
    };
    // The command logs in the backup folder, in the order of their commands.
    const std::vector<LogName>& Logs();
    // A log's bytes (up to the size it has); a FileError when it cannot be
    // read.
    std::string ReadLog(const LogName& log);

    // An id for a command starting now: later than that of every complete
    // log, and named by no log or folder in the backup folder. No file put
    // there makes it fail or hides a command after it.
    std::string NewCommandId(std::int64_t now);

    // Where whatever stands at path's backup moves before a new backup takes
    // its place; empty when nothing stands there. thisId is the id of the
    // command that moves it.
    std::string NameForEarlierBackup(std::string_view path, std::string_view thisId);

    // Removes the temporary files that commands killed before their end left
    // behind: those beside the files their lists name, their lists, and the
    // report's. Never another file.
    void RemoveLeftovers();

  private:
    struct BackupMaker {
        std::string id;
        std::uint64_t size = 0;
        std::string hashBefore;
    };
    void IndexDeleteLogs();

    platform::ContainedTree& m_Tree;
    bool m_HaveLogs = false;
    std::vector<LogName> m_Logs;
    bool m_Indexed = false;
    std::map<std::string, std::vector<BackupMaker>> m_BackupMakers;  // path -> oldest first
};

// The list of a command's temporary files, on the disk while it works: a
// command killed meanwhile leaves it for RemoveLeftovers. Gone when the
// command ends any other way.
class TemporaryList {
  public:
    TemporaryList(platform::ContainedTree& tree, std::string_view id, std::string_view tag,
                  const std::vector<std::string>& targets);
    ~TemporaryList();
    TemporaryList(const TemporaryList&) = delete;
    TemporaryList& operator=(const TemporaryList&) = delete;

  private:
    platform::ContainedTree& m_Tree;
    std::string m_Path;
};

// Copies the rest of from into to in pieces, adding them to hash when one is
// given. As ReadAll, a file longer than its size and a margin is an error.
void CopyInto(platform::InputFile& from, platform::OutputFile& to, ContentHasher* hash);
// The ContentHash of the rest of a file, read in pieces.
std::string HashOfRest(platform::InputFile& file);

// The folder part of a plain relative path, without its "/"; empty for none.
std::string_view FolderOfPlain(std::string_view path);

}  // namespace corvane
