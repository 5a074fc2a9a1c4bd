// The walk over the category folders of a library: which folders it shows and
// which library files it meets, in walk order. The serial check and the
// pipeline's walker both take their order from here.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "audit/folder_cache.h"
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

// Told the steps of a walk, in walk order.
class WalkVisitor {
  public:
    virtual ~WalkVisitor() = default;
    // The walk shows folder (a full path without a trailing separator).
    virtual void ShowFolder(const std::string& folder) = 0;
    // The walk meets the library file name in folder; throughLink: the path
    // from the library root to it passes a link (a folder or the file itself
    // is one), so it may lie outside the library.
    virtual void LibraryFile(const std::string& folder, const std::string& name,
                             bool throughLink) = 0;
};

class LibraryWalk {
  public:
    // Only Get() of folders is asked of the cache, so a walk on one thread
    // may share it with texture lookups on another.
    LibraryWalk(FolderCache& folders, platform::FileSystem& fs) : m_Folders(folders), m_Fs(fs) {}

    // The folder of a category: libraryRoot (ending in the separator) and the
    // title, or the first folder whose name matches the title without regard
    // to case when no entry has exactly that name.
    std::string CategoryFolder(const std::string& libraryRoot, std::string_view title);

    // Subfolders first, depth first, then the folder's own library files,
    // each in the order of the folder's listing. Each folder is shown before
    // and again after its subfolders.
    void WalkCategory(const std::string& folder, std::string_view pattern, WalkVisitor& visitor);

  private:
    struct IdentityHash {
        size_t operator()(const platform::FileIdentity& id) const {
            return std::hash<std::uint64_t>{}(id.inode * 31 + id.device);
        }
    };

    void WalkFolder(const std::string& folder, std::string_view extension, bool throughLink,
                    WalkVisitor& visitor);

    FolderCache& m_Folders;
    platform::FileSystem& m_Fs;
    std::unordered_set<platform::FileIdentity, IdentityHash> m_Walked;  // this category
};

}  // namespace corvane
