// One library file: read, scanned into its record, its textures looked up,
// and the record applied: missing textures, component references and item
// names recorded.
#include "audit/check_run.h"
#include "audit/item_stamp.h"
#include "platform/system.h"
#include "text/text.h"

namespace corvane {

void LibraryCheck::CheckItemFile(const std::string& fullPath, bool throughLink) {
    platform::FileFacts facts = m_Fs.ReadFile(fullPath, m_Bytes);
    m_Record.Clear();
    m_Record.stamp = ItemStamp(facts.lastWriteTime);
    m_Record.identity = facts.identity;
    m_Record.throughLink = throughLink;
    m_Scanner.Scan(m_Bytes, m_Record);
    m_Textures.Resolve(m_Record, platform::FolderOf(fullPath));
    ApplyFile(m_Record, fullPath);
}

void LibraryCheck::ScanItemText(std::string_view bytes, const std::string& fullPath,
                                const std::string& itemStamp,
                                const platform::FileIdentity& identity) {
    m_Record.Clear();
    m_Record.stamp = itemStamp;
    m_Record.identity = identity;
    m_Scanner.Scan(bytes, m_Record);
    m_Textures.Resolve(m_Record, platform::FolderOf(fullPath));
    ApplyRecord(m_Record, fullPath);
}

void LibraryCheck::ApplyFile(const FileRecord& record, const std::string& fullPath) {
    ApplyRecord(record, fullPath);
    m_Progress.FileChecked(++m_FilesChecked, m_ItemsMet);
}

void LibraryCheck::KeepRow(std::vector<PendingRow>& rows, std::string_view text,
                           std::string_view relativePath, size_t lineNumber) {
    // The rows of one file come one after another.
    if (m_RowFiles.empty() || m_RowFiles.back() != relativePath) {
        m_RowFiles.emplace_back(relativePath);
    }
    rows.push_back({std::uint32_t(m_RowFiles.size() - 1), std::uint32_t(text.size()),
                    m_RowTexts.size(), lineNumber});
    m_RowTexts.append(text);
}

void LibraryCheck::ApplyRecord(const FileRecord& record, const std::string& fullPath) {
    if (record.error) std::rethrow_exception(record.error);
    const std::vector<FileRecord::Event>& events = record.Events();
    // Entries of files whose path below the library root holds "NFP" are not
    // reported.
    const std::string_view relative = RelativePath(fullPath);
    const bool reported = relative.find("NFP") == std::string_view::npos;
    for (size_t i = 0; i < events.size(); ++i) {
        // The name tables of a large category are larger than the caches:
        // start fetching the slot of a later event, and the name in the slot
        // of a nearer one, before they are needed.
        constexpr size_t kSlotAhead = 8, kNameAhead = 4;
        auto looksUp = [](const FileRecord::Event& later) {
            return later.kind == FileRecord::Kind::kName ||
                   later.kind == FileRecord::Kind::kComponent;
        };
        // Both kinds look in both tables: a name takes itself out of the
        // missing components, a component not found among the items looks
        // there next.
        if (i + kSlotAhead < events.size() && looksUp(events[i + kSlotAhead])) {
            m_Items.Prefetch(events[i + kSlotAhead].hash);
            m_MissingComponents.Prefetch(events[i + kSlotAhead].hash);
        }
        if (i + kNameAhead < events.size() && looksUp(events[i + kNameAhead])) {
            m_Items.PrefetchName(events[i + kNameAhead].hash);
            m_MissingComponents.PrefetchName(events[i + kNameAhead].hash);
        }
        const FileRecord::Event& event = events[i];
        std::string_view text = record.Text(event);
        switch (event.kind) {
            case FileRecord::Kind::kName:
                CheckItemName(text, event, fullPath, record);
                break;
            case FileRecord::Kind::kComponent:
                CheckComponent(text, event, relative, reported);
                break;
            case FileRecord::Kind::kSyntaxError:
                if (reported) KeepRow(m_SyntaxErrors, text, relative, event.lineNumber);
                break;
            case FileRecord::Kind::kTexture:  // a missing one
                if (reported) KeepRow(m_MissingTextures, text, relative, event.lineNumber);
                break;
        }
    }
}

void LibraryCheck::CheckComponent(std::string_view reference, const FileRecord::Event& event,
                                  std::string_view relative, bool reported) {
    const std::uint64_t hash = event.hash;
    if (m_Items.Contains(reference, hash)) return;
    if (m_MissingComponents.Contains(reference, hash)) return;
    if (!reported) return;
    m_MissingComponents.Add(reference, hash);
    m_ComponentRefs.Add(reference, relative, event.lineNumber);
}

void LibraryCheck::CheckItemName(std::string_view name, const FileRecord::Event& event,
                                 const std::string& fullPath, const FileRecord& record) {
    const std::uint64_t hash = event.hash;
    const std::string& itemStamp = record.stamp;
    ++m_ItemsMet;
    ItemList::Definition earlier;
    if (m_Items.FindLatest(name, hash, earlier)) {
        // The earlier file is older only when its stamp is strictly smaller;
        // equal stamps mark the file being read.
        DuplicateFinding duplicate{std::string(name),
                                   std::string(RelativePath(fullPath)),
                                   std::string(RelativePath(earlier.file)),
                                   !(earlier.stamp < itemStamp),
                                   event.lineNumber,
                                   earlier.lineNumber};
        m_Sink.Duplicate(duplicate);
        // Removal takes every item of the name out of a file, so a pair
        // within one file is reported but never queued: it would take the
        // last copy out of the library. One file reached by two paths (a
        // link, a hard link) is one file. A file reached through a link may
        // lie outside the library, where we never write.
        const bool olderThroughLink =
            duplicate.fileIsOlder ? record.throughLink : earlier.throughLink;
        if (earlier.file != fullPath && !(earlier.identity == record.identity) &&
            !olderThroughLink) {
            m_Older.push_back({duplicate.name, duplicate.Older(), duplicate.OlderLineNumber()});
        }
    }
    m_Items.Add(name, hash, fullPath, itemStamp, record.identity, record.throughLink,
                event.lineNumber);
    m_MissingComponents.Remove(name, hash);
}

}  // namespace corvane
