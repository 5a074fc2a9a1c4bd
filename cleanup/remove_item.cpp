#include "audit/line_rules.h"
#include "cleanup/delete_older.h"
#include "text/text.h"

namespace corvane {

using platform::EntryKind;
using platform::FileError;
using platform::kSeparator;

void MakeFolders(platform::FileSystem& fs, const std::string& path) {
    for (size_t sep = path.find(kSeparator); sep != std::string::npos;
         sep = path.find(kSeparator, sep + 1)) {
        if (sep == 0) continue;
        std::string folder = path.substr(0, sep);
        if (fs.KindOf(folder) != EntryKind::kFolder) fs.MakeFolder(folder);
    }
}

namespace {

bool IsNameLine(std::string_view trimmed) {
    return text::StartsWithNoCase(trimmed, "name");
}

constexpr const char* kTemporarySuffix = ".tmp";

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

// Removes a file we created, when a later step failed; the first error is
// the one to report.
void Discard(platform::FileSystem& fs, const std::string& path) {
    try {
        fs.Remove(path);
    } catch (const FileError&) {
    }
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
    : m_LibraryRoot(std::move(libraryRoot)), m_Fs(fs) {}

ItemRemover::~ItemRemover() {
    DiscardTemporaryFiles();
}

std::string ItemRemover::LibraryPath(const PendingFile& file) const {
    return m_LibraryRoot + file.relativePath;
}

std::string ItemRemover::BackupPath(const PendingFile& file) const {
    return m_LibraryRoot + kBackupFolder + kSeparator + file.relativePath;
}

void ItemRemover::WriteFile(const std::string& path, std::string_view bytes) {
    try {
        std::unique_ptr<platform::OutputFile> out = m_Fs.Create(path);
        out->Write(bytes);
        out->Close();
    } catch (const FileError&) {
        Discard(m_Fs, path);
        throw;
    }
}

void ItemRemover::DiscardTemporaryFiles() {
    for (PendingFile& file : m_Pending) {
        if (file.backupWaiting) Discard(m_Fs, BackupPath(file) + kTemporarySuffix);
        if (file.copyWritten) Discard(m_Fs, LibraryPath(file) + kTemporarySuffix);
        file.backupWaiting = file.copyWritten = false;
    }
}

void ItemRemover::RemoveItem(const std::string& name, const std::string& relativePath) {
    // One name queued twice for one file: the first removal took every copy.
    if (m_Handled.count({name, relativePath})) return;

    auto found = m_PendingIndex.find(relativePath);
    if (found == m_PendingIndex.end()) {
        PendingFile file;
        file.relativePath = relativePath;
        m_Fs.ReadFile(LibraryPath(file), file.content);
        // The backup holds the file as it was before this command, so only
        // the first removal from a file writes it.
        if (!m_BackedUp.count(relativePath)) {
            std::string backup = BackupPath(file);
            MakeFolders(m_Fs, backup);
            WriteFile(backup + kTemporarySuffix, file.content);
            file.backupWaiting = true;
            m_BackedUp.insert(relativePath);
        }
        found = m_PendingIndex.emplace(relativePath, m_Pending.size()).first;
        m_Pending.push_back(std::move(file));
    }
    PendingFile& file = m_Pending[found->second];
    ItemRemoval removal = CopyWithoutItem(file.content, name);
    file.content = std::move(removal.copy);
    file.otherItem = removal.otherItem;
    m_Handled.insert({name, relativePath});
}

void ItemRemover::Commit() {
    if (m_Pending.empty()) return;
    try {
        // The backups first: durable, then in their places.
        m_Fs.SyncAll(m_LibraryRoot);
        for (PendingFile& file : m_Pending) {
            if (!file.backupWaiting) continue;
            std::string backup = BackupPath(file);
            m_Fs.Rename(backup + kTemporarySuffix, backup);
            file.backupWaiting = false;
        }
        m_Fs.SyncAll(m_LibraryRoot);

        // Then the library files: their copies durable beside them, then
        // each in its file's place in one step.
        for (PendingFile& file : m_Pending) {
            if (!file.otherItem) continue;
            WriteFile(LibraryPath(file) + kTemporarySuffix, file.content);
            file.copyWritten = true;
        }
        m_Fs.SyncAll(m_LibraryRoot);
        for (PendingFile& file : m_Pending) {
            std::string path = LibraryPath(file);
            if (file.otherItem) {
                m_Fs.Rename(path + kTemporarySuffix, path);
                file.copyWritten = false;
            } else {
                // Nothing of the file is left but its backup, which is complete.
                m_Fs.Remove(path);
                Discard(m_Fs, path + kTemporarySuffix);  // left by an earlier failure
            }
        }
        m_Fs.SyncAll(m_LibraryRoot);
    } catch (const FileError&) {
        DiscardTemporaryFiles();
        m_Pending.clear();
        m_PendingIndex.clear();
        throw;
    }
    m_Pending.clear();
    m_PendingIndex.clear();
}

}  // namespace corvane
