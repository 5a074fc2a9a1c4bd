#include "audit/line_rules.h"
#include "cleanup/delete_older.h"
#include "text/text.h"

namespace corvane {

namespace {

bool IsNameLine(std::string_view trimmed) {
    return text::StartsWithNoCase(trimmed, "name");
}

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

}  // namespace

ItemRemoval CopyWithoutItem(std::string_view bytes, std::string_view name) {
    ItemRemoval result;
    result.copy.reserve(bytes.size() + bytes.size() / 16);
    text::LineReader reader(bytes);
    std::string_view line;
    bool haveLine = reader.Next(line);
    while (haveLine) {
        std::string_view trimmed = text::Trim(line);
        if (!IsNameLine(trimmed)) {
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The name as the check takes it, so that a name line with a comment
        // matches the name that was queued.
        if (!text::EqualsNoCase(TakeItemName(trimmed), name)) {
            result.otherItem = true;
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The item runs to its "[end]" line, or stops before the next name
        // line when its "[end]" is missing.
        AppendLine(result.copy, "");
        while ((haveLine = reader.Next(line))) {
            std::string_view inside = text::Trim(line);
            if (IsNameLine(inside)) break;
            if (text::StartsWithNoCase(inside, "[end]")) {
                haveLine = reader.Next(line);
                break;
            }
        }
    }
    return result;
}

ItemRemover::ItemRemover(std::string libraryRoot, platform::FileSystem& fs)
    : m_Backups(std::move(libraryRoot), fs), m_Fs(fs) {}

ItemRemover::~ItemRemover() = default;

std::unique_ptr<platform::OutputFile> ItemRemover::WriteFile(const std::string& relative,
                                                             std::string_view bytes) {
    std::unique_ptr<platform::OutputFile> out = m_Fs.Create(m_Backups.FullPath(relative));
    out->Write(bytes);
    return out;
}

void ItemRemover::RemoveItem(const std::string& name, const std::string& relativePath) {
    // One name queued twice for one file: the first removal took every copy.
    if (m_Handled.count({name, relativePath})) return;

    auto found = m_PendingIndex.find(relativePath);
    if (found == m_PendingIndex.end()) {
        PendingFile file;
        file.relativePath = relativePath;
        file.attributes =
            m_Fs.ReadFileWithAttributes(m_Backups.FullPath(relativePath), file.content);
        // The backup holds the file as it was before this command, so only
        // the first removal from a file writes it.
        if (!m_LogIndex.count(relativePath)) {
            if (m_Log.id.empty()) m_Log.id = m_Backups.NewCommandId(SecondsNow());
            std::string backup = BackupTree::BackupOf(relativePath);
            MakeFolders(m_Fs, m_Backups.LibraryRoot(), backup);
            // Whatever stands at the backup's path moves aside, never
            // overwritten.
            std::string aside = m_Backups.NameForEarlierBackup(relativePath, m_Log.id);
            if (!aside.empty()) {
                m_Fs.RenameNoReplace(m_Backups.FullPath(backup), m_Backups.FullPath(aside));
                m_Log.kept.push_back({backup, aside});
            }
            file.backup = WriteFile(backup, file.content);
            file.backup->KeepPermissions(file.attributes);
            file.backup->KeepLastWriteTime(file.attributes);
            file.backup->Finish();
            m_LogIndex.emplace(relativePath, m_Log.files.size());
            m_Log.files.push_back({relativePath, false, backup, ContentHash(file.content), {}});
        }
        found = m_PendingIndex.emplace(relativePath, m_Pending.size()).first;
        m_Pending.push_back(std::move(file));
    }
    PendingFile& file = m_Pending[found->second];
    ItemRemoval removal = CopyWithoutItem(file.content, name);
    file.content = std::move(removal.copy);
    file.otherItem = removal.otherItem;
    m_Handled.insert({name, relativePath});
    m_Log.items.push_back({name, relativePath});
}

void ItemRemover::Commit() {
    if (m_Pending.empty()) return;
    // Whatever happens, these removals are done with; the temporary files of
    // those that do not reach the disk go with them.
    std::vector<PendingFile> pending = std::move(m_Pending);
    m_Pending.clear();
    m_PendingIndex.clear();

    // The copies of the library files, the backups and the log, durable
    // beside their places.
    std::vector<std::unique_ptr<platform::OutputFile>> copies(pending.size());
    for (size_t i = 0; i < pending.size(); ++i) {
        PendingFile& file = pending[i];
        DeleteLog::File& logged = m_Log.files[m_LogIndex.at(file.relativePath)];
        logged.removed = !file.otherItem;
        logged.hashAfter = file.otherItem ? ContentHash(file.content) : std::string();
        if (file.otherItem) {
            copies[i] = WriteFile(file.relativePath, file.content);
            copies[i]->KeepPermissions(file.attributes);
            copies[i]->Finish();
        }
    }
    std::unique_ptr<platform::OutputFile> log =
        WriteFile(BackupTree::DeleteLogOf(m_Log.id), FormatLog(m_Log));
    log->Finish();
    m_Fs.SyncAll(m_Backups.LibraryRoot());

    // The backups and the log take their places, and are durable before any
    // library file changes.
    for (PendingFile& file : pending) {
        if (file.backup) file.backup->CloseAsNew();
    }
    if (m_LogPlaced) {
        log->Close();
    } else {
        log->CloseAsNew();
        m_LogPlaced = true;
    }
    m_Fs.SyncAll(m_Backups.LibraryRoot());

    // Each library file changes in one step.
    for (size_t i = 0; i < pending.size(); ++i) {
        if (copies[i]) {
            copies[i]->Close();
        } else {
            // Nothing of the file is left but its backup, which is complete.
            m_Fs.Remove(m_Backups.FullPath(pending[i].relativePath));
        }
    }
    m_Fs.SyncAll(m_Backups.LibraryRoot());
}

}  // namespace corvane
