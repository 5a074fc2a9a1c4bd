#include "audit/texture_lookup.h"

#include "platform/codepage.h"

namespace corvane {

bool TextureLookup::Exists(std::string_view texture, std::uint64_t hash, std::string_view folder) {
    if (folder != m_Folder) {
        m_Folder.assign(folder);
        m_InFolder.Clear();
    }
    std::uint32_t known = m_InFolder.Find(texture, hash);
    if (known != NameTable::kNone) return known != 0;
    // The name as the library's home system would look it up.
    std::string_view fileName = platform::FileNameOfText(texture, m_FileName);
    bool exists = m_Folders.FileExists(folder, fileName);
    if (!exists) {
        std::uint32_t shared = m_InSharedFolder.Find(texture, hash);
        if (shared != NameTable::kNone) {
            exists = shared != 0;
        } else {
            // The shared folder "textures" is matched without regard to case too.
            m_Path.assign("textures").append(1, platform::kSeparator).append(fileName);
            exists = m_Folders.FileExists(m_LibraryRoot, m_Path);
            m_InSharedFolder.Set(texture, hash, exists ? 1 : 0);
        }
    }
    m_InFolder.Set(texture, hash, exists ? 1 : 0);
    return exists;
}

void TextureLookup::Resolve(FileRecord& record, std::string_view folder) {
    record.KeepEvents([&](const FileRecord::Event& event) {
        return event.kind != FileRecord::Kind::kTexture ||
               !Exists(record.Text(event), event.hash, folder);
    });
}

}  // namespace corvane
