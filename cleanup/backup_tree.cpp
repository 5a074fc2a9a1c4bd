#include "cleanup/backup_tree.h"

#include <algorithm>

namespace corvane {

using platform::EntryKind;
using platform::FileError;
using platform::kSeparator;

namespace {

constexpr std::string_view kDeletePrefix = "delete-";
constexpr std::string_view kRestorePrefix = "restore-";
constexpr std::string_view kLogSuffix = ".log";

// A file we may not read is still moved aside whole; only its name is less
// telling.
bool ReadIfWeCan(platform::FileSystem& fs, const std::string& path, std::string& bytes) {
    try {
        fs.ReadFile(path, bytes);
        return true;
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace

void MakeFolders(platform::FileSystem& fs, const std::string& root,
                 const std::string& relativePath) {
    for (size_t sep = relativePath.find(kSeparator); sep != std::string::npos;
         sep = relativePath.find(kSeparator, sep + 1)) {
        std::string folder = root + relativePath.substr(0, sep);
        switch (fs.KindOfEntry(folder)) {
            case EntryKind::kFolder:
                break;
            case EntryKind::kLink:
                throw FileError("create the folder", folder, "a link stands in its place");
            default:
                fs.MakeFolder(folder);
        }
    }
}

BackupTree::BackupTree(std::string libraryRoot, platform::FileSystem& fs)
    : m_Root(std::move(libraryRoot)), m_Fs(fs) {}

std::string BackupTree::BackupOf(const std::string& relativePath) {
    return std::string(kBackupFolder) + kSeparator + relativePath;
}

std::string BackupTree::DeleteLogOf(const std::string& id) {
    return BackupOf(std::string(kDeletePrefix) + id + std::string(kLogSuffix));
}

std::string BackupTree::RestoreLogOf(const std::string& id) {
    return BackupOf(std::string(kRestorePrefix) + id + std::string(kLogSuffix));
}

const std::vector<BackupTree::LogName>& BackupTree::Logs() {
    if (m_HaveLogs) return m_Logs;
    m_HaveLogs = true;
    for (const platform::FolderEntry& entry : m_Fs.ListFolder(m_Root + kBackupFolder)) {
        std::string_view name = entry.name;
        if (entry.kind != EntryKind::kFile || !name.ends_with(kLogSuffix)) continue;
        name.remove_suffix(kLogSuffix.size());
        bool restore = name.starts_with(kRestorePrefix);
        if (!restore && !name.starts_with(kDeletePrefix)) continue;
        name.remove_prefix(restore ? kRestorePrefix.size() : kDeletePrefix.size());
        if (IsCommandId(name)) m_Logs.push_back({restore, std::string(name)});
    }
    std::sort(m_Logs.begin(), m_Logs.end(), [](const LogName& a, const LogName& b) {
        return CommandBefore(a.id, b.id) || (a.id == b.id && !a.restore && b.restore);
    });
    return m_Logs;
}

std::string BackupTree::NewCommandId(std::int64_t now) {
    const std::vector<LogName>& logs = Logs();
    return CommandIdAfter(logs.empty() ? std::string() : logs.back().id, CommandStamp(now));
}

std::string BackupTree::FreeName(const std::string& base) {
    std::string name = base;
    for (int n = 2; m_Fs.KindOfEntry(FullPath(name)) != EntryKind::kMissing; ++n) {
        name = base + "-" + std::to_string(n);
    }
    return name;
}

void BackupTree::IndexDeleteLogs() {
    if (m_Indexed) return;
    m_Indexed = true;
    std::string bytes;
    for (const LogName& name : Logs()) {
        if (name.restore) continue;
        // A log we cannot read names no maker.
        if (!ReadIfWeCan(m_Fs, FullPath(DeleteLogOf(name.id)), bytes)) continue;
        std::optional<DeleteLog> log = ParseDeleteLog(bytes);
        if (!log) continue;
        for (const DeleteLog::File& file : log->files) {
            if (file.backup == BackupOf(file.relativePath)) {
                m_Makers[file.relativePath].push_back({log->id, file.hashBefore});
            }
        }
    }
}

std::string BackupTree::NameForEarlierBackup(const std::string& relativePath,
                                             const std::string& thisId) {
    const std::string backup = BackupOf(relativePath);
    const EntryKind kind = m_Fs.KindOfEntry(FullPath(backup));
    if (kind == EntryKind::kMissing) return {};
    std::string base = backup + ".earlier-" + thisId;
    if (kind == EntryKind::kFile) {
        // The newest delete command whose backup this is, known by its bytes.
        IndexDeleteLogs();
        auto found = m_Makers.find(relativePath);
        std::string bytes;
        if (found != m_Makers.end() && ReadIfWeCan(m_Fs, FullPath(backup), bytes)) {
            const std::string hash = ContentHash(bytes);
            for (auto made = found->second.rbegin(); made != found->second.rend(); ++made) {
                if (made->hashBefore == hash) {
                    base = backup + "." + made->id;
                    break;
                }
            }
        }
    }
    return FreeName(base);
}

}  // namespace corvane
