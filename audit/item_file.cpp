// One library file: read, scanned into its record, and the record applied to
// the check state: textures looked up, component references and item names
// recorded.
#include "audit/check_run.h"
#include "audit/report.h"
#include "platform/system.h"
#include "platform/text.h"

namespace corvane {

void Checker::CheckItemFile(const std::string& fullPath) {
    std::int64_t lastWriteTime = m_Fs.ReadFile(fullPath, m_Bytes);
    ScanItemText(m_Bytes, fullPath, platform::ItemStamp(lastWriteTime));
}

void Checker::ScanItemText(std::string_view bytes, const std::string& fullPath,
                           const std::string& itemStamp) {
    m_Record.Clear();
    m_Scanner.Scan(bytes, m_Record);
    m_Record.stamp = itemStamp;
    ApplyRecord(m_Record, fullPath);
}

void Checker::ApplyRecord(const FileRecord& record, const std::string& fullPath) {
    if (record.error) std::rethrow_exception(record.error);
    const std::vector<FileRecord::Event>& events = record.Events();
    for (size_t i = 0; i < events.size(); ++i) {
        // The name tables of a large category are larger than the caches:
        // start fetching the slot of a later event before it is needed.
        constexpr size_t kAhead = 4;
        if (i + kAhead < events.size()) {
            const FileRecord::Event& later = events[i + kAhead];
            if (later.kind == FileRecord::Kind::kName ||
                later.kind == FileRecord::Kind::kComponent) {
                m_State.m_Items.Prefetch(later.hash);
            }
        }
        const FileRecord::Event& event = events[i];
        std::string_view text = record.Text(event);
        switch (event.kind) {
            case FileRecord::Kind::kName:
                CheckItemName(text, event.hash, fullPath, record.stamp);
                break;
            case FileRecord::Kind::kComponent:
                CheckComponent(text, event.hash, fullPath);
                break;
            case FileRecord::Kind::kSyntaxError:
                m_State.m_SyntaxErrors.push_back({std::string(text), fullPath});
                break;
            case FileRecord::Kind::kTexture:
                LookUpTexture(text, event.hash, fullPath);
                break;
        }
    }
}

void Checker::LookUpTexture(std::string_view texture, std::uint64_t hash,
                            const std::string& fullPath) {
    if (TextureExists(texture, hash, platform::FolderOf(fullPath))) return;
    m_State.m_MissingTextures.push_back(
        {std::string(texture), std::string(RelativePath(fullPath))});
}

bool Checker::TextureExists(std::string_view texture, std::uint64_t hash, std::string_view folder) {
    // The folder cache gives one answer to one question for the whole run, so
    // the answers are kept: for the folder being walked until the walk leaves
    // it, and for the shared folder throughout.
    if (folder != m_TextureFolder) {
        m_TextureFolder.assign(folder);
        m_InTextureFolder.Clear();
    }
    std::uint32_t known = m_InTextureFolder.Find(texture, hash);
    if (known != NameTable::kNone) return known != 0;
    bool exists = m_Folders.FileExists(folder, texture);
    if (!exists) {
        std::uint32_t shared = m_InSharedFolder.Find(texture, hash);
        if (shared != NameTable::kNone) {
            exists = shared != 0;
        } else {
            // The shared folder "textures" is matched without regard to case too.
            m_Path.assign("textures").append(1, platform::kSeparator).append(texture);
            exists = m_Folders.FileExists(m_State.m_LibraryRoot, m_Path);
            m_InSharedFolder.Set(texture, hash, exists ? 1 : 0);
        }
    }
    m_InTextureFolder.Set(texture, hash, exists ? 1 : 0);
    return exists;
}

void Checker::CheckComponent(std::string_view reference, std::uint64_t hash,
                             const std::string& fullPath) {
    if (m_State.m_Items.Contains(reference, hash)) return;
    if (m_State.m_MissingComponents.Contains(reference, hash)) return;
    if (fullPath.find("NFP") != std::string::npos) return;
    m_State.m_MissingComponents.Add(reference, hash);
    m_State.m_ComponentRefs.Add(reference, fullPath);
}

void Checker::CheckItemName(std::string_view name, std::uint64_t hash, const std::string& fullPath,
                            const std::string& itemStamp) {
    ItemList::Definition earlier;
    if (m_State.m_Items.FindLatest(name, hash, earlier)) {
        // The earlier file is older only when its stamp is strictly smaller;
        // equal stamps mark the file being read.
        bool earlierIsOlder = earlier.stamp < itemStamp;
        std::string_view currentPath = RelativePath(fullPath);
        std::string_view earlierPath = RelativePath(earlier.file);
        m_State.m_pReport->WriteDuplicateRow(m_State.m_bShade, name, currentPath, earlierPath,
                                             !earlierIsOlder);
        // Removal takes every item of the name out of a file, so a pair
        // within one file is reported but never queued: it would take the
        // last copy out of the library.
        if (earlier.file != fullPath) {
            m_State.m_OlderNames.emplace_back(name);
            m_State.m_OlderFiles.emplace_back(earlierIsOlder ? earlierPath : currentPath);
        }
    }
    m_State.m_Items.Add(name, hash, fullPath, itemStamp);
    m_State.m_MissingComponents.Remove(name, hash);
}

}  // namespace corvane
