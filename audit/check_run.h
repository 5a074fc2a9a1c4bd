// The Check command: walks the five category folders of a library, scans
// every library file and writes the report "Corvane.htm" into the library
// root.
#pragma once

#include <string>
#include <string_view>

#include "audit/check_state.h"
#include "audit/file_record.h"
#include "audit/folder_cache.h"
#include "audit/name_table.h"
#include "audit/walk.h"
#include "platform/files.h"

namespace corvane {

// "Delete N older items".
std::string DeleteButtonLabel(size_t olderItems);

// One check run over the library whose root (ending in the separator) is
// libraryRoot. On an error the report written so far is closed and the error
// passes to the caller. jobs is the number of threads that read and scan
// library files (0: CheckWorkers decides); with 1 the run reads and scans
// each file on the calling thread as the walk meets it. The report, the
// check state and the progress texts are the same whatever jobs is.
void RunCheck(CheckState& state, ProgressDisplay& progress, const std::string& libraryRoot,
              platform::FileSystem& fs = platform::RealFileSystem(), unsigned jobs = 0);

// The steps of a check run, on the check state of one run.
class Checker : private WalkVisitor {
  public:
    Checker(CheckState& state, ProgressDisplay& progress, platform::FileSystem& fs);

    // Writes the category's heading, walks it, reading and scanning each
    // library file on this thread, and writes its rows.
    void CheckCategory(std::string_view title, std::string_view pattern);
    // The parts of CheckCategory around the walk.
    void BeginCategory(std::string_view title);
    void EndCategory();
    // Shows the folder's path relative to the library root.
    void ShowFolder(const std::string& folder) override;
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

    FolderCache& Folders() { return m_Folders; }

  private:
    void LibraryFile(const std::string& folder, const std::string& name) override;
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
    LibraryWalk m_Walk;
    std::string m_Bytes;
    ItemFileScanner m_Scanner;
    FileRecord m_Record;
    std::string m_Path;      // a texture's path under the shared folder
    std::string m_FilePath;  // the library file being read
    // Texture lookups answered so far, by texture name.
    std::string m_TextureFolder;  // the folder that m_InTextureFolder answers for
    NameTable m_InTextureFolder;  // texture -> 1 found, 0 not
    NameTable m_InSharedFolder;
};

}  // namespace corvane
