#include "audit/line_rules.h"
#include "cleanup/delete_older.h"
#include "platform/text.h"

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
    return platform::StartsWithNoCase(trimmed, "name");
}

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
    platform::LineReader reader(bytes);
    std::string_view line;
    bool haveLine = reader.Next(line);
    while (haveLine) {
        std::string_view trimmed = platform::Trim(line);
        if (!IsNameLine(trimmed)) {
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The name as the check takes it, so that a name line with a comment
        // matches the name that was queued.
        if (!platform::EqualsNoCase(TakeItemName(trimmed), name)) {
            result.otherItem = true;
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The item runs to its "[end]" line, or stops before the next name
        // line when its "[end]" is missing.
        AppendLine(result.copy, "");
        while ((haveLine = reader.Next(line))) {
            std::string_view inside = platform::Trim(line);
            if (IsNameLine(inside)) break;
            if (platform::StartsWithNoCase(inside, "[end]")) {
                haveLine = reader.Next(line);
                break;
            }
        }
    }
    return result;
}

ItemRemover::ItemRemover(std::string libraryRoot, platform::FileSystem& fs)
    : m_LibraryRoot(std::move(libraryRoot)), m_Fs(fs) {}

void ItemRemover::WriteBackup(const std::string& backupPath, std::string_view bytes) {
    MakeFolders(m_Fs, backupPath);
    ReplaceFile(backupPath, bytes);
}

void ItemRemover::ReplaceFile(const std::string& path, std::string_view bytes) {
    // The new content goes to disk beside the file first, then takes the
    // file's place in one step.
    std::string temporary = path + ".tmp";
    try {
        std::unique_ptr<platform::OutputFile> out = m_Fs.Create(temporary);
        out->Write(bytes);
        out->Commit();
        m_Fs.Rename(temporary, path);
    } catch (const FileError&) {
        Discard(m_Fs, temporary);
        throw;
    }
    m_Fs.SyncFolder(std::string(platform::FolderOf(path)));
}

void ItemRemover::RemoveItem(const std::string& name, const std::string& relativePath) {
    // One name queued twice for one file: the first removal took every copy.
    if (m_Handled.count({name, relativePath})) return;

    std::string libraryPath = m_LibraryRoot + relativePath;
    std::string original;
    m_Fs.ReadFile(libraryPath, original);
    ItemRemoval removal = CopyWithoutItem(original, name);

    // The backup holds the file as it was before this command, so only the
    // first removal from a file writes it.
    if (!m_BackedUp.count(relativePath)) {
        WriteBackup(m_LibraryRoot + kBackupFolder + kSeparator + relativePath, original);
        m_BackedUp.insert(relativePath);
    }

    if (removal.otherItem) {
        ReplaceFile(libraryPath, removal.copy);
    } else {
        // Nothing of the file is left but its backup, which is complete.
        m_Fs.Remove(libraryPath);
        Discard(m_Fs, libraryPath + ".tmp");
        m_Fs.SyncFolder(std::string(platform::FolderOf(libraryPath)));
    }
    m_Handled.insert({name, relativePath});
}

}  // namespace corvane
