// Whether the textures a library file names exist: beside the file, or in the
// shared folder "textures" under the library root. One TextureLookup serves
// one thread; several may share one FolderCache, and all give the same
// answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audit/file_record.h"
#include "audit/folder_cache.h"
#include "audit/name_table.h"

namespace corvane {

class TextureLookup {
  public:
    // libraryRoot ends in the separator.
    TextureLookup(FolderCache& folders, std::string libraryRoot)
        : m_Folders(folders), m_LibraryRoot(std::move(libraryRoot)) {}

    // Whether texture (with its NameTable::Hash) names a readable file in
    // folder, the folder of the library file that names it, or in the shared
    // folder.
    bool Exists(std::string_view texture, std::uint64_t hash, std::string_view folder);

    // Looks up every texture of the record of a library file in folder and
    // takes the ones found out of the record: only the missing ones are
    // reported, and a record that crosses to another thread is the smaller.
    void Resolve(FileRecord& record, std::string_view folder);

  private:
    FolderCache& m_Folders;
    const std::string m_LibraryRoot;
    std::string m_Path;
    std::string m_FileName;
    // The folder cache gives one answer to one question for the whole run, so
    // the answers are kept: for the folder asked about last until another is
    // asked about, and for the shared folder throughout.
    std::string m_Folder;  // the folder that m_InFolder answers for
    NameTable m_InFolder;  // texture -> 1 found, 0 not
    NameTable m_InSharedFolder;
};

}  // namespace corvane
