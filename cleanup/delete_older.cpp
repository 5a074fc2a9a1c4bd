#include "cleanup/delete_older.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "cleanup/backup_tree.h"
#include "cleanup/command_log.h"

namespace corvane {

using platform::FileError;

namespace {

// A library file with the items of the list that lie in it.
struct ListedFile {
    std::string path;           // plain relative path
    std::vector<size_t> items;  // indexes into the list
};

// A library file whose backup and copy are written beside their places.
struct Planned {
    size_t file = 0;  // into m_Files
    platform::FileVersion version;
    std::unique_ptr<platform::OutputFile> backup;
    std::unique_ptr<platform::OutputFile> copy;  // none when the file leaves the library
};

class Deleter {
  public:
    Deleter(const std::string& libraryRoot, const std::vector<OlderItem>& list,
            DeleteProgress& progress, platform::FileSystem& fs)
        : m_Root(libraryRoot), m_List(list), m_Progress(progress), m_Fs(fs) {}

    DeleteResult Run();

  private:
    void GroupByFile();
    void Plan(size_t file);
    void Commit();
    void WriteLog(bool replace);
    std::vector<OlderItem> NotRemoved(std::optional<size_t> failedFile) const;

    const std::string& m_Root;
    const std::vector<OlderItem>& m_List;
    DeleteProgress& m_Progress;
    platform::FileSystem& m_Fs;

    std::unique_ptr<platform::ContainedTree> m_Tree;
    std::unique_ptr<BackupTree> m_Backups;
    std::string m_Tag;
    std::vector<ListedFile> m_Files;
    std::vector<Planned> m_Planned;
    std::vector<bool> m_Removed;  // per item of the list
    DeleteLog m_Log;
    DeleteResult m_Result;
    std::string m_Bytes;
};

void Deleter::GroupByFile() {
    std::unordered_map<std::string, size_t> index;
    for (size_t i = 0; i < m_List.size(); ++i) {
        std::string path = platform::PlainRelativePath(m_List[i].file);
        auto [at, added] = index.emplace(path, m_Files.size());
        if (added) m_Files.push_back({std::move(path), {}});
        m_Files[at->second].items.push_back(i);
    }
}

void Deleter::Plan(size_t index) {
    const ListedFile& file = m_Files[index];
    platform::ContainedTree& tree = *m_Tree;
    std::unique_ptr<platform::InputFile> input = tree.OpenForReading(file.path);
    input->ReadAll(m_Bytes);
    std::vector<std::string> names;
    for (size_t item : file.items) names.push_back(m_List[item].name);
    const ItemRemoval removal = CopyWithoutItems(m_Bytes, names);

    // Whatever stands at the backup's place moves aside, never overwritten.
    Planned planned;
    planned.file = index;
    planned.version = input->Attributes().Version();
    const std::string backup = BackupTree::BackupOf(file.path);
    tree.MakeFolders(FolderOfPlain(backup));
    const std::string aside = m_Backups->NameForEarlierBackup(file.path, m_Log.id);
    if (!aside.empty()) {
        tree.MakeFolders(FolderOfPlain(aside));
        tree.MoveIfFree(backup, aside);
        m_Log.kept.push_back({backup, aside});
    }
    auto write = [&](const std::string& path, std::string_view bytes, bool keepTime) {
        std::unique_ptr<platform::OutputFile> out = tree.Create(path, m_Tag);
        out->Write(bytes);
        for (std::string& lost : out->KeepAttributesOf(*input, keepTime)) {
            m_Result.warnings.push_back(std::move(lost));
        }
        out->Finish();
        return out;
    };
    planned.backup = write(backup, m_Bytes, true);
    if (removal.otherItem) planned.copy = write(file.path, removal.copy, false);

    for (size_t item : file.items) m_Log.items.push_back({m_List[item].name, file.path});
    m_Log.files.push_back({file.path, !removal.otherItem, backup, m_Bytes.size(),
                           ContentHash(m_Bytes),
                           removal.otherItem ? ContentHash(removal.copy) : std::string()});
    m_Planned.push_back(std::move(planned));
}

void Deleter::WriteLog(bool replace) {
    std::unique_ptr<platform::OutputFile> log =
        m_Tree->Create(BackupTree::DeleteLogOf(m_Log.id), m_Tag);
    log->Write(FormatLog(m_Log));
    if (replace) {
        log->Place();
    } else {
        log->PlaceIfFree();
    }
}

void Deleter::Commit() {
    platform::ContainedTree& tree = *m_Tree;
    // The backups, the copies and the log are durable beside their places;
    // then the backups and the log take their places, and are durable before
    // any library file changes.
    tree.SyncAll();
    for (Planned& planned : m_Planned) planned.backup->PlaceIfFree();
    WriteLog(false);
    tree.SyncAll();

    // Each library file changes in one step, only while it is the file that
    // was read.
    size_t left = m_List.size();
    std::set<std::string> untouched;
    for (Planned& planned : m_Planned) {
        const ListedFile& file = m_Files[planned.file];
        try {
            if (planned.copy) {
                planned.copy->PlaceIfUnchanged(planned.version);
            } else {
                // Nothing of the file is left but its backup, which is complete.
                tree.RemoveIfUnchanged(file.path, planned.version);
            }
        } catch (const platform::FileChanged& changed) {
            m_Result.problems.push_back(std::string(changed.what()) +
                                        "; it is left as it is, with its items");
            m_Log.untouched.push_back({file.path, "changed since it was read"});
            untouched.insert(file.path);
            continue;
        } catch (const FileError& error) {
            m_Result.problems.push_back(error.what());
            m_Log.untouched.push_back({file.path, error.what()});
            untouched.insert(file.path);
            continue;
        }
        ++m_Result.filesChanged;
        for (size_t item : file.items) {
            m_Removed[item] = true;
            m_Result.removed.push_back(m_List[item]);
            m_Progress.ItemRemoved(m_List[item], --left);
        }
    }
    if (!untouched.empty()) {
        // The log says which files the command left as they were.
        std::erase_if(m_Log.items, [&](const auto& item) { return untouched.count(item.path); });
        WriteLog(true);
    }
    tree.SyncAll();
}

std::vector<OlderItem> Deleter::NotRemoved(std::optional<size_t> failedFile) const {
    std::vector<OlderItem> left;
    if (failedFile) {
        for (size_t item : m_Files[*failedFile].items) left.push_back(m_List[item]);
    }
    for (size_t i = 0; i < m_List.size(); ++i) {
        if (m_Removed[i]) continue;
        if (failedFile &&
            std::find(m_Files[*failedFile].items.begin(), m_Files[*failedFile].items.end(), i) !=
                m_Files[*failedFile].items.end()) {
            continue;
        }
        left.push_back(m_List[i]);
    }
    return left;
}

DeleteResult Deleter::Run() {
    m_Removed.assign(m_List.size(), false);
    GroupByFile();
    std::optional<size_t> failedFile;
    try {
        if (!m_Files.empty()) {
            m_Tree = m_Fs.OpenTree(m_Root);
            m_Backups = std::make_unique<BackupTree>(*m_Tree);
            m_Backups->RemoveLeftovers();
            m_Log.id = m_Backups->NewCommandId(SecondsNow());
            m_Tag = platform::RandomTag();
            std::vector<std::string> targets = {BackupTree::DeleteLogOf(m_Log.id)};
            for (const ListedFile& file : m_Files) {
                targets.push_back(file.path);
                targets.push_back(BackupTree::BackupOf(file.path));
            }
            TemporaryList temporaries(*m_Tree, m_Log.id, m_Tag, targets);
            for (size_t i = 0; i < m_Files.size() && !failedFile; ++i) {
                for (size_t item : m_Files[i].items) {
                    m_Progress.Status(m_List[item].name + " in " + m_List[item].file);
                }
                try {
                    Plan(i);
                } catch (const FileError& error) {
                    // The files before it still change.
                    m_Result.problems.push_back(error.what());
                    failedFile = i;
                }
            }
            if (!m_Planned.empty()) {
                m_Result.id = m_Log.id;
                Commit();
            }
            m_Planned.clear();
        }
    } catch (const FileError& error) {
        m_Result.problems.push_back(error.what());
        if (m_Result.removed.empty()) m_Result.id.clear();
    }
    m_Result.notRemoved = NotRemoved(failedFile);
    std::sort(m_Result.warnings.begin(), m_Result.warnings.end());
    m_Result.warnings.erase(std::unique(m_Result.warnings.begin(), m_Result.warnings.end()),
                            m_Result.warnings.end());
    if (!m_Result.Failed()) m_Progress.Status("Finished");
    return std::move(m_Result);
}

}  // namespace

DeleteResult DeleteOlderItems(const std::string& libraryRoot,
                              const std::vector<OlderItem>& olderItems, DeleteProgress& progress,
                              platform::FileSystem& fs) {
    return Deleter(libraryRoot, olderItems, progress, fs).Run();
}

}  // namespace corvane
