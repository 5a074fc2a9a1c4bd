#include "cleanup/backup_tree.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "audit/library_root.h"

namespace corvane {

using platform::EntryKind;
using platform::FileError;

namespace {

constexpr std::string_view kDeletePrefix = "delete-";
constexpr std::string_view kRestorePrefix = "restore-";
constexpr std::string_view kLogSuffix = ".log";
constexpr std::string_view kRunningPrefix = "running-";
constexpr std::string_view kRunningSuffix = ".txt";
constexpr std::string_view kEarlierPrefix = "earlier-";
// A list of temporary files larger than this is none of ours.
constexpr std::uint64_t kMostListSize = 64 << 20;

// Reads the rest of file in pieces, handing each to take.
void ReadInPieces(platform::InputFile& file, const std::function<void(std::string_view)>& take) {
    const std::uint64_t limit = file.Attributes().size + platform::kReadMargin;
    std::string buffer(1 << 16, '\0');
    std::uint64_t total = 0;
    for (size_t n; (n = file.Read(buffer.data(), buffer.size())) > 0;) {
        total += n;
        if (total > limit) {
            throw FileError("read", file.Path(),
                            "it holds more than the " + std::to_string(file.Attributes().size) +
                                " bytes its size says");
        }
        take(std::string_view(buffer.data(), n));
    }
}

// The id in a name "<prefix><id><suffix>", or empty.
std::string IdIn(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return {};
    name.remove_prefix(prefix.size());
    name.remove_suffix(suffix.size());
    return IsCommandId(name) ? std::string(name) : std::string();
}

}  // namespace

std::string_view FolderOfPlain(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

void CopyInto(platform::InputFile& from, platform::OutputFile& to, ContentHasher* hash) {
    ReadInPieces(from, [&](std::string_view piece) {
        if (hash) hash->Add(piece);
        to.Write(piece);
    });
}

std::string HashOfRest(platform::InputFile& file) {
    ContentHasher hash;
    ReadInPieces(file, [&](std::string_view piece) { hash.Add(piece); });
    return hash.Text();
}

std::string BackupTree::BackupOf(std::string_view path) {
    return std::string(kBackupFolder) + "/" + std::string(path);
}

std::string BackupTree::DeleteLogOf(std::string_view id) {
    return BackupOf(std::string(kDeletePrefix) + std::string(id) + std::string(kLogSuffix));
}

std::string BackupTree::RestoreLogOf(std::string_view id) {
    return BackupOf(std::string(kRestorePrefix) + std::string(id) + std::string(kLogSuffix));
}

std::string BackupTree::KeptOf(std::string_view id, std::string_view path) {
    return BackupOf(std::string(id) + "/" + std::string(path));
}

std::string BackupTree::TemporariesOf(std::string_view id) {
    return BackupOf(std::string(kRunningPrefix) + std::string(id) + std::string(kRunningSuffix));
}

const std::vector<BackupTree::LogName>& BackupTree::Logs() {
    if (m_HaveLogs) return m_Logs;
    for (const platform::FolderEntry& entry : m_Tree.ListFolder(kBackupFolder)) {
        if (entry.kind != EntryKind::kFile || entry.link) continue;
        for (bool restore : {false, true}) {
            std::string id = IdIn(entry.name, restore ? kRestorePrefix : kDeletePrefix, kLogSuffix);
            if (!id.empty()) m_Logs.push_back({restore, id, BackupOf(entry.name)});
        }
    }
    std::sort(m_Logs.begin(), m_Logs.end(), [](const LogName& a, const LogName& b) {
        return CommandBefore(a.id, b.id) || (a.id == b.id && !a.restore && b.restore);
    });
    m_HaveLogs = true;
    return m_Logs;
}

std::string BackupTree::ReadLog(const LogName& log) {
    std::string bytes;
    m_Tree.OpenForReading(log.path)->ReadAll(bytes);
    return bytes;
}

std::string BackupTree::NewCommandId(std::int64_t now) {
    // The latest command whose log is whole; a log that is not (one cut
    // short, or a name someone put there) has no say.
    std::string latest;
    const std::vector<LogName>& logs = Logs();
    for (auto log = logs.rbegin(); log != logs.rend() && latest.empty(); ++log) {
        try {
            const std::string bytes = ReadLog(*log);
            if (log->restore ? bool(ParseRestoreLog(bytes)) : bool(ParseDeleteLog(bytes))) {
                latest = log->id;
            }
        } catch (const FileError&) {
        }
    }
    std::string id = CommandIdAfter(latest, CommandStamp(now));
    if (id.empty()) id = CommandStamp(now);
    auto taken = [&](const std::string& candidate) {
        for (const std::string& path :
             {DeleteLogOf(candidate), RestoreLogOf(candidate), TemporariesOf(candidate),
              BackupOf(candidate), BackupOf(std::string(kEarlierPrefix) + candidate)}) {
            if (m_Tree.KindOfEntry(path) != EntryKind::kMissing) return true;
        }
        return false;
    };
    while (taken(id)) {
        id = NextInSecond(id);
        if (id.empty()) {
            throw FileError("start a command in", m_Tree.FullPath(kBackupFolder),
                            "every command id of this second is taken");
        }
    }
    return id;
}

void BackupTree::IndexDeleteLogs() {
    if (m_Indexed) return;
    m_Indexed = true;
    for (const LogName& name : Logs()) {
        if (name.restore) continue;
        std::optional<DeleteLog> log;
        try {
            log = ParseDeleteLog(ReadLog(name));
        } catch (const FileError&) {
            // A log we cannot read names no maker.
        }
        if (!log || log->id != name.id) continue;
        for (const DeleteLog::File& file : log->files) {
            if (file.backup == BackupOf(file.path)) {
                m_BackupMakers[file.path].push_back({log->id, file.size, file.hashBefore});
            }
        }
    }
}

std::string BackupTree::NameForEarlierBackup(std::string_view path, std::string_view thisId) {
    const std::string backup = BackupOf(path);
    const EntryKind kind = m_Tree.KindOfEntry(backup);
    if (kind == EntryKind::kMissing) return {};
    std::string aside = KeptOf(std::string(kEarlierPrefix) + std::string(thisId), path);
    if (kind != EntryKind::kFile) return aside;
    // The newest delete command whose backup this is, known by its bytes.
    IndexDeleteLogs();
    auto found = m_BackupMakers.find(std::string(path));
    if (found == m_BackupMakers.end()) return aside;
    std::optional<std::string> hash;
    try {
        std::unique_ptr<platform::InputFile> file = m_Tree.OpenForReading(backup);
        for (auto made = found->second.rbegin(); made != found->second.rend(); ++made) {
            if (made->size != file->Attributes().size) continue;
            if (!hash) hash = HashOfRest(*file);
            const std::string kept = KeptOf(made->id, path);
            if (made->hashBefore == *hash && m_Tree.KindOfEntry(kept) == EntryKind::kMissing) {
                return kept;
            }
        }
    } catch (const FileError&) {
        // A file we may not read is still moved aside whole; only its name
        // is less telling.
    }
    return aside;
}

void BackupTree::RemoveLeftovers() {
    // One that cannot be removed now (another program holds it open) is
    // tried again by the next command.
    auto remove = [&](const std::string& path) {
        try {
            m_Tree.RemoveFile(path);
        } catch (const FileError&) {
        }
    };
    for (const platform::FolderEntry& entry : m_Tree.ListFolder("")) {
        if (entry.kind == EntryKind::kFile && !entry.link &&
            platform::IsTemporaryNameFor(entry.name, kReportName)) {
            remove(entry.name);
        }
    }
    for (const platform::FolderEntry& entry : m_Tree.ListFolder(kBackupFolder)) {
        if (entry.kind != EntryKind::kFile || entry.link) continue;
        const std::string path = BackupOf(entry.name);
        // A list whose own writing was cut short.
        const std::string listName = entry.name.substr(0, entry.name.find(".corvane-"));
        if (!IdIn(listName, kRunningPrefix, kRunningSuffix).empty() &&
            platform::IsTemporaryNameFor(entry.name, listName)) {
            remove(path);
            continue;
        }
        if (IdIn(entry.name, kRunningPrefix, kRunningSuffix).empty()) continue;
        std::string bytes;
        try {
            std::unique_ptr<platform::InputFile> file = m_Tree.OpenForReading(path);
            if (file->Attributes().size > kMostListSize) continue;
            file->ReadAll(bytes);
        } catch (const FileError&) {
            continue;
        }
        auto list = ParseTemporaries(bytes);
        if (!list) continue;
        const auto& [tag, targets] = *list;
        for (const std::string& target : targets) {
            // A folder that has become a link since is refused: what lies
            // beyond it is none of ours to remove.
            for (int attempt = 0; attempt < platform::kTemporaryAttempts; ++attempt) {
                remove(platform::TemporaryNameBeside(target, tag, attempt));
            }
        }
        remove(path);
    }
}

TemporaryList::TemporaryList(platform::ContainedTree& tree, std::string_view id,
                             std::string_view tag, const std::vector<std::string>& targets)
    : m_Tree(tree), m_Path(BackupTree::TemporariesOf(id)) {
    tree.MakeFolders(kBackupFolder);
    std::unique_ptr<platform::OutputFile> list = tree.Create(m_Path, tag);
    list->Write(FormatTemporaries(tag, targets));
    list->PlaceIfFree();
}

TemporaryList::~TemporaryList() {
    try {
        m_Tree.RemoveFile(m_Path);
    } catch (const FileError&) {
    }
}

}  // namespace corvane
