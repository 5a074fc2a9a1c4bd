#include "cleanup/restore.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "cleanup/backup_tree.h"

namespace corvane {

using platform::EntryKind;
using platform::FileAttributes;
using platform::FileError;
using platform::OutputFile;

namespace {

// One library file of the command being undone.
struct Plan {
    RestoreLog::File entry;
    std::unique_ptr<OutputFile> restored;  // the backup's copy, beside the library file
    std::unique_ptr<OutputFile> kept;      // the copy of the file standing there
    bool moveAside = false;                // what stands there, not a file, moves to keptAs
};

class Restorer {
  public:
    Restorer(const std::string& libraryRoot, platform::FileSystem& fs)
        : m_Tree(libraryRoot, fs), m_Fs(fs) {}

    RestoreResult Run();

  private:
    std::optional<DeleteLog> LatestNotUndone();
    // Reads the backup that holds file as it was before the delete: where the
    // log put it, or beside it under a name that begins with its own.
    void ReadBackup(const DeleteLog::File& file, Plan& plan, std::string& bytes,
                    FileAttributes& attributes);
    void PlanFile(const DeleteLog::File& file, Plan& plan);
    std::unique_ptr<OutputFile> WriteLog(const RestoreLog& log);
    const std::string& Root() const { return m_Tree.LibraryRoot(); }

    BackupTree m_Tree;
    platform::FileSystem& m_Fs;
    std::string m_DeleteId;
    std::string m_Id;
};

std::optional<DeleteLog> Restorer::LatestNotUndone() {
    const std::vector<BackupTree::LogName>& logs = m_Tree.Logs();
    std::set<std::string> undone;
    std::string bytes;
    for (const BackupTree::LogName& name : logs) {
        if (!name.restore) continue;
        m_Fs.ReadFile(m_Tree.FullPath(BackupTree::RestoreLogOf(name.id)), bytes);
        std::optional<RestoreLog> log = ParseRestoreLog(bytes);
        if (log && log->done) undone.insert(log->deleteId);
    }
    for (auto name = logs.rbegin(); name != logs.rend(); ++name) {
        if (name->restore || undone.count(name->id)) continue;
        m_Fs.ReadFile(m_Tree.FullPath(BackupTree::DeleteLogOf(name->id)), bytes);
        std::optional<DeleteLog> log = ParseDeleteLog(bytes);
        if (log && log->id == name->id) return log;
    }
    return std::nullopt;
}

void Restorer::ReadBackup(const DeleteLog::File& file, Plan& plan, std::string& bytes,
                          FileAttributes& attributes) {
    std::optional<FileError> unreadable;
    auto holdsIt = [&](const std::string& candidate) {
        // A link here is none of ours: its target could be anything.
        if (m_Fs.KindOfEntry(m_Tree.FullPath(candidate)) != EntryKind::kFile) return false;
        try {
            attributes = m_Fs.ReadFileWithAttributes(m_Tree.FullPath(candidate), bytes);
        } catch (const FileError& error) {
            if (!unreadable) unreadable = error;
            return false;
        }
        if (ContentHash(bytes) != file.hashBefore) return false;
        plan.entry.backup = candidate;
        return true;
    };
    // Where the delete put it, where a later delete moved it, and only then
    // any other name beside it that begins with its own.
    if (holdsIt(file.backup) || holdsIt(file.backup + "." + m_DeleteId)) return;
    const std::string folder(platform::FolderOf(file.backup));
    const std::string prefix = file.backup.substr(folder.size()) + ".";
    std::vector<std::string> beside;
    for (const platform::FolderEntry& entry : m_Fs.ListFolder(m_Tree.FullPath(folder))) {
        if (entry.name.starts_with(prefix)) beside.push_back(folder + entry.name);
    }
    std::sort(beside.begin(), beside.end());
    for (const std::string& candidate : beside) {
        if (holdsIt(candidate)) return;
    }
    if (unreadable) throw *unreadable;
    throw FileError("restore", m_Tree.FullPath(file.relativePath),
                    "no file under " + std::string(kBackupFolder) +
                        " holds it as it was before the delete command " + m_DeleteId);
}

void Restorer::PlanFile(const DeleteLog::File& file, Plan& plan) {
    plan.entry.relativePath = file.relativePath;
    std::string bytes;
    FileAttributes attributes;
    ReadBackup(file, plan, bytes, attributes);

    const std::string path = m_Tree.FullPath(file.relativePath);
    auto keptName = [&] {
        plan.entry.keptAs = m_Tree.FreeName(BackupTree::BackupOf(file.relativePath) + "." + m_Id);
        MakeFolders(m_Fs, Root(), plan.entry.keptAs);
    };
    switch (m_Fs.KindOfEntry(path)) {
        case EntryKind::kMissing:
            plan.entry.stood = Stood::kNothing;
            break;
        case EntryKind::kFolder:
            throw FileError("restore", path, "a folder stands in its place");
        case EntryKind::kFile: {
            std::string now;
            const FileAttributes nowAttributes = m_Fs.ReadFileWithAttributes(path, now);
            const std::string hash = ContentHash(now);
            if (hash == file.hashBefore &&
                nowAttributes.lastWriteSeconds == attributes.lastWriteSeconds &&
                nowAttributes.lastWriteNanoseconds == attributes.lastWriteNanoseconds &&
                nowAttributes.permissions == attributes.permissions) {
                plan.entry.stood = Stood::kAlreadyBack;
                return;
            }
            plan.entry.stood =
                !file.removed && hash == file.hashAfter ? Stood::kAsLeft : Stood::kEdited;
            keptName();
            plan.kept = m_Fs.Create(m_Tree.FullPath(plan.entry.keptAs));
            plan.kept->KeepPermissions(nowAttributes);
            plan.kept->KeepLastWriteTime(nowAttributes);
            plan.kept->Write(now);
            plan.kept->Finish();
            break;
        }
        default:  // a link, a FIFO...: moved aside whole, never followed
            plan.entry.stood = Stood::kOther;
            keptName();
            plan.moveAside = true;
            break;
    }
    plan.restored = m_Fs.Create(path);
    plan.restored->KeepPermissions(attributes);
    plan.restored->KeepLastWriteTime(attributes);
    plan.restored->Write(bytes);
    plan.restored->Finish();
}

std::unique_ptr<OutputFile> Restorer::WriteLog(const RestoreLog& log) {
    std::unique_ptr<OutputFile> out = m_Fs.Create(m_Tree.FullPath(BackupTree::RestoreLogOf(m_Id)));
    out->Write(FormatLog(log));
    out->Finish();
    return out;
}

RestoreResult Restorer::Run() {
    RestoreResult result;
    std::optional<DeleteLog> undo = LatestNotUndone();
    if (!undo) return result;
    m_DeleteId = result.deleteId = undo->id;
    m_Id = result.restoreId = m_Tree.NewCommandId(SecondsNow());

    // Every backup found and copied beside its library file, and every file
    // standing there copied beside its kept name, before anything moves.
    std::vector<Plan> plans(undo->files.size());
    RestoreLog log{m_Id, m_DeleteId, {}, false};
    for (size_t i = 0; i < plans.size(); ++i) {
        PlanFile(undo->files[i], plans[i]);
        log.files.push_back(plans[i].entry);
    }
    std::unique_ptr<OutputFile> logFile = WriteLog(log);
    m_Fs.SyncAll(Root());

    // What stood in the library files' places is kept, and the log is on the
    // disk, before the first library file changes.
    for (Plan& plan : plans) {
        if (plan.kept) plan.kept->CloseAsNew();
        if (plan.moveAside) {
            m_Fs.RenameNoReplace(m_Tree.FullPath(plan.entry.relativePath),
                                 m_Tree.FullPath(plan.entry.keptAs));
        }
    }
    logFile->CloseAsNew();
    m_Fs.SyncAll(Root());

    for (Plan& plan : plans) {
        if (!plan.restored) continue;
        if (plan.kept) {
            plan.restored->Close();
        } else {
            plan.restored->CloseAsNew();  // never over something that came meanwhile
        }
    }
    m_Fs.SyncAll(Root());

    log.done = true;
    WriteLog(log)->Close();
    m_Fs.SyncAll(Root());
    result.files = std::move(log.files);
    return result;
}

}  // namespace

RestoreResult RestoreLatestDelete(const std::string& libraryRoot, platform::FileSystem& fs) {
    return Restorer(libraryRoot, fs).Run();
}

std::vector<std::string> DescribeRestore(const RestoreResult& result) {
    if (result.deleteId.empty()) return {"Nothing to undo."};
    std::vector<std::string> lines = {"Undid the delete command " + result.deleteId + " (" +
                                      BackupTree::DeleteLogOf(result.deleteId) + ")"};
    for (const RestoreLog::File& file : result.files) {
        const std::string restored = "Restored " + file.relativePath + " from " + file.backup;
        switch (file.stood) {
            case Stood::kAsLeft:
                lines.push_back(restored + "; the file the delete left is kept as " + file.keptAs);
                break;
            case Stood::kEdited:
                lines.push_back(restored +
                                "; the file standing there had changed since the delete "
                                "and is kept as " +
                                file.keptAs);
                break;
            case Stood::kNothing:
                lines.push_back(restored);
                break;
            case Stood::kOther:
                lines.push_back(restored + "; what stood in its place is kept as " + file.keptAs);
                break;
            case Stood::kAlreadyBack:
                lines.push_back(file.relativePath + " was already as it was before the delete");
                break;
        }
    }
    lines.push_back("Log: " + BackupTree::RestoreLogOf(result.restoreId));
    return lines;
}

}  // namespace corvane
