// The Check command: walks the five category folders of a library, scans
// every library file and writes the report "Corvane.htm" into the library
// root.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "audit/check_state.h"
#include "audit/file_record.h"
#include "audit/folder_cache.h"
#include "audit/name_table.h"
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

// "Delete N older items".
std::string DeleteButtonLabel(size_t olderItems);

// One check run over the library whose root (ending in the separator) is
// libraryRoot. On an error the report written so far is closed and the error
// passes to the caller.
void RunCheck(CheckState& state, ProgressDisplay& progress, const std::string& libraryRoot,
              platform::FileSystem& fs = platform::RealFileSystem());

// The steps of a check run, on the check state of one run.
class Checker {
  public:
    Checker(CheckState& state, ProgressDisplay& progress, platform::FileSystem& fs);

    void CheckCategory(std::string_view title, std::string_view pattern);
    void WalkFolder(const std::string& folder, std::string_view pattern);
    // Reads a library file and scans it; its item stamp is taken from the
    // file as it was read.
    void CheckItemFile(const std::string& fullPath);
    // The scan of CheckItemFile over bytes already read.
    void ScanItemText(std::string_view bytes, const std::string& fullPath,
                      const std::string& itemStamp);
    // Applies the record of the library file at fullPath to the check state
    // and the report; a record of a file that could not be read raises its
    // error.
    void ApplyRecord(const FileRecord& record, const std::string& fullPath);

  private:
    struct IdentityHash {
        size_t operator()(const platform::FolderIdentity& id) const {
            return std::hash<std::uint64_t>{}(id.inode * 31 + id.device);
        }
    };

    std::string CategoryFolder(std::string_view title);
    void ShowFolder(const std::string& folder);
    void CheckComponent(std::string_view reference, std::uint64_t hash,
                        const std::string& fullPath);
    void CheckItemName(std::string_view name, std::uint64_t hash, const std::string& fullPath,
                       const std::string& itemStamp);
    void LookUpTexture(std::string_view texture, std::uint64_t hash, const std::string& fullPath);
    bool TextureExists(std::string_view texture, std::uint64_t hash, std::string_view folder);
    std::string_view RelativePath(std::string_view fullPath) const;

    CheckState& m_State;
    ProgressDisplay& m_Progress;
    platform::FileSystem& m_Fs;
    FolderCache m_Folders;
    std::unordered_set<platform::FolderIdentity, IdentityHash> m_Walked;  // this category
    std::string m_Bytes;
    ItemFileScanner m_Scanner;
    FileRecord m_Record;
    std::string m_Path;
    // Texture lookups answered so far, by texture name.
    std::string m_TextureFolder;  // the folder that m_InTextureFolder answers for
    NameTable m_InTextureFolder;  // texture -> 1 found, 0 not
    NameTable m_InSharedFolder;
};

}  // namespace corvane
