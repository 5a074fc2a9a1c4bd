// The Check command's core: walks the five category folders of a library,
// scans every library file and hands what it finds, in report order, to a
// FindingSink.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "audit/findings.h"
#include "audit/folder_cache.h"
#include "audit/item_lists.h"
#include "audit/name_table.h"
#include "audit/progress.h"
#include "platform/files.h"

namespace corvane {

struct Category {
    const char* title;    // also the name of its folder under the library root
    const char* pattern;  // "*" and the extension of its library files
};
inline constexpr Category kCategories[] = {
    {"Stock", "*.stk"}, {"Scenery", "*.stc"}, {"Signals", "*.stc"},
    {"Track", "*.stt"}, {"OHLE", "*.stc"},
};

// One check run over the library whose root (ending in the separator) is
// libraryRoot. Returns the older items found. On an error the sink hears
// CheckFailed and the error passes to the caller.
std::vector<OlderItem> RunCheck(const std::string& libraryRoot, FindingSink& sink,
                                ProgressObserver& progress,
                                platform::FileSystem& fs = platform::RealFileSystem());

// The steps of a check run.
class Checker {
  public:
    Checker(std::string libraryRoot, FindingSink& sink, ProgressObserver& progress,
            platform::FileSystem& fs);

    // Walks one category and hands its findings to the sink.
    void CheckCategory(std::string_view title, std::string_view pattern);
    void WalkFolder(const std::string& folder, std::string_view pattern);
    // Reads a library file and scans it; its item stamp is taken from the
    // file as it was read.
    void CheckItemFile(const std::string& fullPath);
    // The scan of CheckItemFile over bytes already read from the file
    // identified by identity.
    void ScanItemText(std::string_view bytes, const std::string& fullPath,
                      const std::string& itemStamp, const platform::FileIdentity& identity);
    // Hands the category's syntax errors, missing textures and missing
    // components to the sink and forgets the category's names.
    void EndCategory();

    const std::vector<OlderItem>& OlderItems() const { return m_Older; }
    // Item definitions met in the current category, repeated names included.
    size_t ItemCount() const { return m_Items.Count(); }

  private:
    struct IdentityHash {
        size_t operator()(const platform::FileIdentity& id) const {
            return std::hash<std::uint64_t>{}(id.inode * 31 + id.device);
        }
    };

    std::string CategoryFolder(std::string_view title);
    void ShowFolder(const std::string& folder);
    void CheckSkinLine(std::string_view work, const std::string& fullPath);
    void CheckBitmapLine(std::string_view work, const std::string& fullPath);
    void CheckComponentLine(std::string_view work, std::string_view kept,
                            const std::string& fullPath);
    void CheckItemName(std::string_view work, const std::string& fullPath,
                       const std::string& itemStamp, const platform::FileIdentity& identity);
    void LookUpTexture(std::string_view texture, const std::string& fullPath);
    bool TextureExists(std::string_view texture, std::string_view folder);
    std::string_view RelativePath(std::string_view fullPath) const;

    std::string m_LibraryRoot;  // ends in the separator
    FindingSink& m_Sink;
    ProgressObserver& m_Progress;
    platform::FileSystem& m_Fs;
    FolderCache m_Folders;

    // The category being checked.
    ItemList m_Items;
    MissingComponentList m_MissingComponents;
    ComponentRefList m_ComponentRefs;
    std::vector<SyntaxFinding> m_SyntaxErrors;
    std::vector<TextureFinding> m_MissingTextures;
    std::unordered_set<platform::FileIdentity, IdentityHash> m_Walked;

    // The whole run.
    std::vector<OlderItem> m_Older;
    size_t m_FilesChecked = 0;
    size_t m_ItemsMet = 0;

    // Scratch space of the scan.
    std::string m_CurrentItemName;
    std::string m_Bytes;
    std::string m_Work;
    std::string m_Path;
    std::string m_Reference;
    std::string m_FileName;
    // Texture lookups answered so far, by texture name.
    std::string m_TextureFolder;  // the folder that m_InTextureFolder answers for
    NameTable m_InTextureFolder;  // texture -> 1 found, 0 not
    NameTable m_InSharedFolder;
};

}  // namespace corvane
