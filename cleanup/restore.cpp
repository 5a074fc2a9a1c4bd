#include "cleanup/restore.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "cleanup/backup_tree.h"

namespace corvane {

using platform::EntryKind;
using platform::FileError;
using platform::OutputFile;

namespace {

// A delete command as the logs in the backup folder tell of it.
struct DeleteHistory {
    BackupTree::LogName name;
    std::optional<DeleteLog> log;  // nothing when its log is not a whole log of ours
    std::string why;               // why not
    enum class State { kToUndo, kToRetry, kUndone } state = State::kToUndo;
    std::vector<RestoreLog::Failed> failed;  // what the latest restore of it could not put back
};

// The delete commands, latest first.
std::vector<DeleteHistory> ReadHistory(BackupTree& backups) {
    std::map<std::string, RestoreLog> latestDone;  // delete id -> its latest finished restore
    std::vector<DeleteHistory> deletes;
    for (const BackupTree::LogName& name : backups.Logs()) {
        std::string bytes, why;
        try {
            bytes = backups.ReadLog(name);
        } catch (const FileError& error) {
            if (!name.restore) {
                DeleteHistory unreadable;
                unreadable.name = name;
                unreadable.why = error.what();
                deletes.push_back(std::move(unreadable));
            }
            continue;
        }
        if (name.restore) {
            std::optional<RestoreLog> log = ParseRestoreLog(bytes);
            if (log && log->done && log->id == name.id) latestDone[log->deleteId] = *log;
            continue;
        }
        DeleteHistory history;
        history.name = name;
        history.log = ParseDeleteLog(bytes, &why);
        history.why = why;
        if (history.log && history.log->id != name.id) {
            history.log.reset();
            history.why = "its first line names another command";
        }
        deletes.push_back(std::move(history));
    }
    for (DeleteHistory& history : deletes) {
        auto done = latestDone.find(history.name.id);
        if (done == latestDone.end()) continue;
        if (done->second.passedOver || done->second.failed.empty()) {
            history.state = DeleteHistory::State::kUndone;
        } else {
            history.state = DeleteHistory::State::kToRetry;
            history.failed = done->second.failed;
        }
    }
    std::reverse(deletes.begin(), deletes.end());
    return deletes;
}

// The files of a delete that a restore works on.
std::vector<DeleteLog::File> FilesToRestore(const DeleteHistory& history) {
    const DeleteLog& log = *history.log;
    std::vector<DeleteLog::File> files;
    for (const DeleteLog::File& file : log.files) {
        auto is = [&](const auto& other) { return other.path == file.path; };
        if (history.state == DeleteHistory::State::kToRetry) {
            if (std::any_of(history.failed.begin(), history.failed.end(), is)) {
                files.push_back(file);
            }
        } else if (std::none_of(log.untouched.begin(), log.untouched.end(), is)) {
            files.push_back(file);
        }
    }
    return files;
}

// One library file of the command being undone.
struct Plan {
    RestoreLog::File entry;
    std::unique_ptr<OutputFile> restored;  // the backup's copy, beside the library file
    std::unique_ptr<OutputFile> kept;      // the copy of the file standing there
    platform::FileVersion standing;        // of that file
    bool moveAside = false;                // what stands there, not a file, moves to keptAs
};

class Restorer {
  public:
    Restorer(const std::string& libraryRoot, ProgressObserver& progress, platform::FileSystem& fs)
        : m_Root(libraryRoot), m_Progress(progress), m_Fs(fs) {}

    RestoreResult Run();

  private:
    UndoneDelete Undo(const DeleteHistory& history);
    std::string FindBackup(const DeleteLog::File& file);
    void PlanFile(const DeleteLog::File& file, Plan& plan);
    void KeepWarnings(std::vector<std::string> lost) {
        for (std::string& text : lost) m_Result.warnings.push_back(std::move(text));
    }

    const std::string& m_Root;
    ProgressObserver& m_Progress;
    platform::FileSystem& m_Fs;
    std::unique_ptr<platform::ContainedTree> m_Tree;
    std::unique_ptr<BackupTree> m_Backups;
    std::vector<std::string> m_EarlierFolders;  // "backup/earlier-<id>" folders
    std::string m_DeleteId;
    std::string m_Id;
    std::string m_Tag;
    RestoreResult m_Result;
};

std::string Restorer::FindBackup(const DeleteLog::File& file) {
    // Where the delete put it, where a later delete moved it, and then where
    // a later delete that did not know its maker moved it.
    std::vector<std::string> candidates = {file.backup, BackupTree::KeptOf(m_DeleteId, file.path)};
    for (const std::string& folder : m_EarlierFolders) {
        candidates.push_back(folder + "/" + file.path);
    }
    std::optional<FileError> unreadable;
    for (const std::string& candidate : candidates) {
        try {
            // A link here is none of ours: its target could be anything.
            if (m_Tree->KindOfEntry(candidate) != EntryKind::kFile) continue;
            std::unique_ptr<platform::InputFile> input = m_Tree->OpenForReading(candidate);
            // A file of another size is not read at all.
            if (input->Attributes().size == file.size && HashOfRest(*input) == file.hashBefore) {
                return candidate;
            }
        } catch (const FileError& error) {
            if (!unreadable) unreadable = error;
        }
    }
    if (unreadable) throw *unreadable;
    throw FileError("restore", m_Tree->FullPath(file.path),
                    "no file under " + std::string(kBackupFolder) +
                        " holds it as it was before the delete command " + m_DeleteId);
}

void Restorer::PlanFile(const DeleteLog::File& file, Plan& plan) {
    platform::ContainedTree& tree = *m_Tree;
    plan.entry.path = file.path;
    plan.entry.backup = FindBackup(file);
    std::unique_ptr<platform::InputFile> backup = tree.OpenForReading(plan.entry.backup);
    const std::string keptAs = BackupTree::KeptOf(m_Id, file.path);

    switch (tree.KindOfEntry(file.path)) {
        case EntryKind::kMissing:
            plan.entry.standing = Standing::kNothing;
            break;
        case EntryKind::kFolder:
            throw FileError("restore", tree.FullPath(file.path), "a folder stands in its place");
        case EntryKind::kFile: {
            std::unique_ptr<platform::InputFile> now = tree.OpenForReading(file.path);
            tree.MakeFolders(FolderOfPlain(keptAs));
            plan.kept = tree.Create(keptAs, m_Tag);
            ContentHasher hash;
            CopyInto(*now, *plan.kept, &hash);
            const platform::FileAttributes& is = now->Attributes();
            const platform::FileAttributes& was = backup->Attributes();
            if (hash.Text() == file.hashBefore && is.lastWriteSeconds == was.lastWriteSeconds &&
                is.lastWriteNanoseconds == was.lastWriteNanoseconds &&
                is.permissions == was.permissions) {
                plan.entry.standing = Standing::kAlreadyBack;
                plan.kept.reset();
                return;
            }
            plan.entry.standing = !file.removed && hash.Text() == file.hashAfter
                                      ? Standing::kAsLeft
                                      : Standing::kEdited;
            KeepWarnings(plan.kept->KeepAttributesOf(*now, true));
            plan.kept->Finish();
            plan.entry.keptAs = keptAs;
            plan.standing = is.Version();
            break;
        }
        default:  // a link, a FIFO...: moved aside whole, never followed
            plan.entry.standing = Standing::kOther;
            tree.MakeFolders(FolderOfPlain(keptAs));
            plan.entry.keptAs = keptAs;
            plan.moveAside = true;
            break;
    }
    // Folders removed since the delete are made again.
    if (!FolderOfPlain(file.path).empty()) tree.MakeFolders(FolderOfPlain(file.path));
    plan.restored = tree.Create(file.path, m_Tag);
    ContentHasher hash;
    CopyInto(*backup, *plan.restored, &hash);
    if (hash.Text() != file.hashBefore) {
        throw FileError(
            "restore", tree.FullPath(file.path),
            "its backup " + tree.FullPath(plan.entry.backup) + " changed while it was read");
    }
    KeepWarnings(plan.restored->KeepAttributesOf(*backup, true));
    plan.restored->Finish();
}

UndoneDelete Restorer::Undo(const DeleteHistory& history) {
    platform::ContainedTree& tree = *m_Tree;
    const std::vector<DeleteLog::File> files = FilesToRestore(history);
    m_DeleteId = history.log->id;
    m_Id = m_Backups->NewCommandId(SecondsNow());
    m_Tag = platform::RandomTag();
    std::vector<std::string> targets = {BackupTree::RestoreLogOf(m_Id)};
    for (const DeleteLog::File& file : files) {
        targets.push_back(file.path);
        targets.push_back(BackupTree::KeptOf(m_Id, file.path));
    }
    TemporaryList temporaries(tree, m_Id, m_Tag, targets);

    // Every backup found and copied beside its library file, and every file
    // standing there copied beside its kept name, before anything moves.
    RestoreLog log{m_Id, m_DeleteId, {}, {}, false, false};
    std::vector<Plan> plans;
    for (const DeleteLog::File& file : files) {
        m_Progress.Status("Restoring " + platform::SystemRelativePath(file.path));
        Plan plan;
        try {
            PlanFile(file, plan);
        } catch (const FileError& error) {
            log.failed.push_back({file.path, error.what()});
            continue;
        }
        log.files.push_back(plan.entry);
        plans.push_back(std::move(plan));
    }
    auto writeLog = [&] {
        std::unique_ptr<OutputFile> out = tree.Create(BackupTree::RestoreLogOf(m_Id), m_Tag);
        out->Write(FormatLog(log));
        out->Finish();
        return out;
    };
    std::unique_ptr<OutputFile> logFile = writeLog();
    tree.SyncAll();

    // What stood in the library files' places is kept, and the log is on the
    // disk, before the first library file changes.
    auto fail = [&](Plan& plan, const FileError& error) {
        log.failed.push_back({plan.entry.path, error.what()});
        plan.restored.reset();
    };
    for (Plan& plan : plans) {
        try {
            if (plan.kept) plan.kept->PlaceIfFree();
            if (plan.moveAside) tree.MoveIfFree(plan.entry.path, plan.entry.keptAs);
        } catch (const FileError& error) {
            fail(plan, error);
        }
    }
    logFile->PlaceIfFree();
    tree.SyncAll();

    for (Plan& plan : plans) {
        if (!plan.restored) continue;
        try {
            if (plan.kept) {
                // Never over a file changed since it was kept.
                plan.restored->PlaceIfUnchanged(plan.standing);
            } else {
                plan.restored->PlaceIfFree();  // never over something that came meanwhile
            }
        } catch (const FileError& error) {
            fail(plan, error);
        }
    }
    tree.SyncAll();

    log.files.clear();
    for (const Plan& plan : plans) {
        if (plan.restored || plan.entry.standing == Standing::kAlreadyBack) {
            log.files.push_back(plan.entry);
        }
    }
    const bool retry = history.state == DeleteHistory::State::kToRetry;
    log.passedOver = retry && !log.failed.empty();
    log.done = true;
    writeLog()->Place();
    tree.SyncAll();
    return {m_DeleteId, m_Id, std::move(log.files), std::move(log.failed), retry, log.passedOver};
}

RestoreResult Restorer::Run() {
    try {
        m_Tree = m_Fs.OpenTree(m_Root);
        m_Backups = std::make_unique<BackupTree>(*m_Tree);
        m_Backups->RemoveLeftovers();
        for (const platform::FolderEntry& entry : m_Tree->ListFolder(kBackupFolder)) {
            if (entry.kind == EntryKind::kFolder && !entry.link &&
                entry.name.starts_with("earlier-")) {
                m_EarlierFolders.push_back(BackupTree::BackupOf(entry.name));
            }
        }
        std::sort(m_EarlierFolders.begin(), m_EarlierFolders.end());
        for (const DeleteHistory& history : ReadHistory(*m_Backups)) {
            if (!history.log) {
                m_Result.refused.push_back(
                    {platform::SystemRelativePath(history.name.path), history.why});
                continue;
            }
            if (history.state == DeleteHistory::State::kUndone) continue;
            m_Result.deletes.push_back(Undo(history));
            // Only files given up for good let the restore go on to the
            // delete before.
            if (!m_Result.deletes.back().passedOver) break;
        }
    } catch (const FileError& error) {
        m_Result.failure = error.what();
    }
    if (!m_Result.Failed()) m_Progress.Status("Finished");
    return std::move(m_Result);
}

}  // namespace

bool RestoreResult::Failed() const {
    return !refused.empty() || !failure.empty() ||
           std::any_of(deletes.begin(), deletes.end(),
                       [](const UndoneDelete& undone) { return !undone.failed.empty(); });
}

std::optional<UndoOffer> NextUndo(const std::string& libraryRoot, platform::FileSystem& fs) {
    try {
        std::unique_ptr<platform::ContainedTree> tree = fs.OpenTree(libraryRoot);
        if (tree->KindOfEntry(kBackupFolder) != EntryKind::kFolder) return std::nullopt;
        BackupTree backups(*tree);
        for (const DeleteHistory& history : ReadHistory(backups)) {
            if (!history.log || history.state == DeleteHistory::State::kUndone) continue;
            UndoOffer offer{history.log->id, 0, FilesToRestore(history).size(),
                            history.state == DeleteHistory::State::kToRetry};
            for (const DeleteLog::Item& item : history.log->items) {
                for (const DeleteLog::File& file : FilesToRestore(history)) {
                    if (file.path == item.path) {
                        ++offer.items;
                        break;
                    }
                }
            }
            return offer;
        }
    } catch (const FileError&) {
    }
    return std::nullopt;
}

RestoreResult RestoreLatestDelete(const std::string& libraryRoot, ProgressObserver& progress,
                                  platform::FileSystem& fs) {
    return Restorer(libraryRoot, progress, fs).Run();
}

std::vector<std::string> DescribeRestore(const RestoreResult& result) {
    using platform::SystemRelativePath;
    std::vector<std::string> lines;
    for (const auto& [log, why] : result.refused) {
        lines.push_back("Passed over " + log + ", which is not a whole delete log (" + why +
                        "); its delete, if it was one, is not undone");
    }
    for (const UndoneDelete& undone : result.deletes) {
        const std::string log = SystemRelativePath(BackupTree::DeleteLogOf(undone.deleteId));
        lines.push_back(undone.retry
                            ? "Tried again to put back what the restore of the delete "
                              "command " +
                                  undone.deleteId + " could not (" + log + ")"
                            : "Undid the delete command " + undone.deleteId + " (" + log + ")");
        for (const RestoreLog::File& file : undone.files) {
            const std::string path = SystemRelativePath(file.path);
            const std::string restored =
                "Restored " + path + " from " + SystemRelativePath(file.backup);
            const std::string kept = SystemRelativePath(file.keptAs);
            switch (file.standing) {
                case Standing::kAsLeft:
                    lines.push_back(restored + "; the file the delete left is kept as " + kept);
                    break;
                case Standing::kEdited:
                    lines.push_back(restored +
                                    "; the file standing there had changed since the delete "
                                    "and is kept as " +
                                    kept);
                    break;
                case Standing::kNothing:
                    lines.push_back(restored);
                    break;
                case Standing::kOther:
                    lines.push_back(restored + "; what stood in its place is kept as " + kept);
                    break;
                case Standing::kAlreadyBack:
                    lines.push_back(path + " was already as it was before the delete");
                    break;
            }
        }
        for (const RestoreLog::Failed& failed : undone.failed) {
            lines.push_back("Could not put back " + SystemRelativePath(failed.path) + ": " +
                            failed.reason);
        }
        if (undone.passedOver) {
            lines.push_back(
                "Those files are given up: they stay as they are, and restore goes "
                "on with the delete before");
        } else if (!undone.failed.empty()) {
            lines.push_back(
                "Run restore again once the cause is gone: it tries those files "
                "again (and if they still cannot be put back, gives them up and "
                "goes on with the delete before)");
        }
        lines.push_back("Log: " + SystemRelativePath(BackupTree::RestoreLogOf(undone.restoreId)));
    }
    if (lines.empty() && result.failure.empty()) lines.push_back("Nothing to undo.");
    return lines;
}

}  // namespace corvane
