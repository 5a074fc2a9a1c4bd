// The scan of one library file: every line sorted by its kind, textures
// looked up, component references and item names recorded.
#include "audit/check_run.h"
#include "audit/line_rules.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "text/text.h"

namespace corvane {

void Checker::CheckItemFile(const std::string& fullPath) {
    platform::FileFacts facts = m_Fs.ReadFile(fullPath, m_Bytes);
    ScanItemText(m_Bytes, fullPath, platform::ItemStamp(facts.lastWriteTime), facts.identity);
    m_Progress.FileChecked(++m_FilesChecked, m_ItemsMet);
}

void Checker::ScanItemText(std::string_view bytes, const std::string& fullPath,
                           const std::string& itemStamp, const platform::FileIdentity& identity) {
    m_CurrentItemName.clear();
    text::LineReader reader(bytes);
    std::string_view line;
    while (reader.Next(line)) {
        std::string_view kept = text::Trim(line);
        if (kept.empty()) continue;
        // Most lines are neither comments nor keyword lines: unless they name
        // a bitmap they need no working copy.
        if (!CanBeKeywordLine(kept[0])) {
            size_t bmp = FindBmp(kept);
            if (bmp == std::string_view::npos || bmp == 0) continue;
        }
        text::ToLowerInto(kept, m_Work);
        switch (ClassifyLine(m_Work)) {
            case LineKind::kSkin:
                CheckSkinLine(m_Work, fullPath);
                break;
            case LineKind::kComponent:
                CheckComponentLine(m_Work, kept, fullPath);
                break;
            case LineKind::kName:
                CheckItemName(m_Work, fullPath, itemStamp, identity);
                break;
            case LineKind::kBitmap:
                CheckBitmapLine(m_Work, fullPath);
                break;
            case LineKind::kComment:
            case LineKind::kImperialFloat:
            case LineKind::kWheelbase:
            case LineKind::kOther:
                break;
        }
    }
}

void Checker::CheckSkinLine(std::string_view work, const std::string& fullPath) {
    SkinReference skin = TakeSkinReference(work, m_CurrentItemName);
    // Entries of files whose path below the library root holds "NFP" are not
    // reported.
    std::string_view relative = RelativePath(fullPath);
    if (skin.syntaxError && relative.find("NFP") == std::string_view::npos) {
        m_SyntaxErrors.push_back({std::string(work), std::string(relative)});
    }
    LookUpTexture(skin.texture, fullPath);
}

void Checker::CheckBitmapLine(std::string_view work, const std::string& fullPath) {
    LookUpTexture(TakeBitmapReference(work), fullPath);
}

void Checker::LookUpTexture(std::string_view texture, const std::string& fullPath) {
    if (TextureExists(texture, platform::FolderOf(fullPath))) return;
    std::string_view relative = RelativePath(fullPath);
    if (relative.find("NFP") != std::string_view::npos) return;
    m_MissingTextures.push_back({std::string(texture), std::string(relative)});
}

bool Checker::TextureExists(std::string_view texture, std::string_view folder) {
    // The folder cache gives one answer to one question for the whole run, so
    // the answers are kept: for the folder being walked until the walk leaves
    // it, and for the shared folder throughout.
    if (folder != m_TextureFolder) {
        m_TextureFolder.assign(folder);
        m_InTextureFolder.Clear();
    }
    std::uint32_t known = m_InTextureFolder.Find(texture);
    if (known != NameTable::kNone) return known != 0;
    // The name as the library's home system would look it up.
    std::string_view fileName = platform::FileNameOfText(texture, m_FileName);
    bool exists = m_Folders.FileExists(folder, fileName);
    if (!exists) {
        std::uint32_t shared = m_InSharedFolder.Find(texture);
        if (shared != NameTable::kNone) {
            exists = shared != 0;
        } else {
            // The shared folder "textures" is matched without regard to case too.
            m_Path.assign("textures").append(1, platform::kSeparator).append(fileName);
            exists = m_Folders.FileExists(m_LibraryRoot, m_Path);
            m_InSharedFolder.Set(texture, exists ? 1 : 0);
        }
    }
    m_InTextureFolder.Set(texture, exists ? 1 : 0);
    return exists;
}

void Checker::CheckComponentLine(std::string_view work, std::string_view kept,
                                 const std::string& fullPath) {
    std::string_view reference = TakeComponentReference(work, kept, m_Reference);
    if (m_Items.Contains(reference)) return;
    if (m_MissingComponents.Contains(reference)) return;
    std::string_view relative = RelativePath(fullPath);
    if (relative.find("NFP") != std::string_view::npos) return;
    m_MissingComponents.Add(reference);
    m_ComponentRefs.Add(reference, relative);
}

void Checker::CheckItemName(std::string_view work, const std::string& fullPath,
                            const std::string& itemStamp, const platform::FileIdentity& identity) {
    std::string_view name = TakeItemName(work);
    m_CurrentItemName.assign(name);
    ++m_ItemsMet;

    ItemList::Definition earlier;
    if (m_Items.FindLatest(name, earlier)) {
        // The earlier file is older only when its stamp is strictly smaller;
        // equal stamps mark the file being read.
        DuplicateFinding duplicate{std::string(name), std::string(RelativePath(fullPath)),
                                   std::string(RelativePath(earlier.file)),
                                   !(earlier.stamp < itemStamp)};
        m_Sink.Duplicate(duplicate);
        // Removal takes every item of the name out of a file, so a pair
        // within one file is reported but never queued: it would take the
        // last copy out of the library. One file reached by two paths (a
        // link, a hard link) is one file.
        if (earlier.file != fullPath && !(earlier.identity == identity)) {
            m_Older.push_back({duplicate.name, duplicate.Older()});
        }
    }
    m_Items.Add(name, fullPath, itemStamp, identity);
    m_MissingComponents.Remove(name);
}

}  // namespace corvane
