// The Check command's core: walks the five category folders of a library,
// scans every library file and hands what it finds, in report order, to a
// FindingSink.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audit/file_record.h"
#include "audit/findings.h"
#include "audit/folder_cache.h"
#include "audit/item_lists.h"
#include "audit/progress.h"
#include "audit/texture_lookup.h"
#include "audit/walk.h"
#include "platform/files.h"

namespace corvane {

struct CheckOptions {
    platform::FileSystem* fs = nullptr;  // the machine's own when none is given
    // The threads that read and scan library files (0: CheckWorkers
    // decides); with 1 the run reads and scans each file on the calling
    // thread as the walk meets it.
    unsigned jobs = 0;
    // Gets the findings too, where a command writes a report (RunCheck
    // itself hands them to its sink).
    FindingSink* findings = nullptr;

    platform::FileSystem& Fs() const { return fs ? *fs : platform::RealFileSystem(); }
};

// One check run over the library whose root (ending in the separator) is
// libraryRoot. Returns the older items found. On an error the sink hears
// CheckFailed and the error passes to the caller. The findings, the older
// items and the progress are the same whatever the jobs, and the sink and the
// observer are only called on the calling thread.
std::vector<OlderItem> RunCheck(const std::string& libraryRoot, FindingSink& sink,
                                ProgressObserver& progress, const CheckOptions& options = {});

// The steps of a check run.
class LibraryCheck : private WalkVisitor {
  public:
    LibraryCheck(std::string libraryRoot, FindingSink& sink, ProgressObserver& progress,
                 platform::FileSystem& fs);

    // Walks one category, reading and scanning each library file on this
    // thread, and hands its findings to the sink.
    void CheckCategory(std::string_view title, std::string_view pattern);
    // The parts of CheckCategory around the walk. EndCategory hands the
    // category's syntax errors, missing textures and missing components to
    // the sink and forgets the category's names.
    void BeginCategory(std::string_view title);
    void EndCategory();
    // Shows the folder's path relative to the library root.
    void ShowFolder(const std::string& folder) override;
    // Reads a library file and scans it; its item stamp is taken from the
    // file as it was read.
    void CheckItemFile(const std::string& fullPath, bool throughLink = false);
    // The scan of CheckItemFile over bytes already read from the file
    // identified by identity.
    void ScanItemText(std::string_view bytes, const std::string& fullPath,
                      const std::string& itemStamp, const platform::FileIdentity& identity);
    // Applies the record of the library file at fullPath, its textures
    // looked up, and tells the progress observer; a record of a file that
    // could not be read raises its error.
    void ApplyFile(const FileRecord& record, const std::string& fullPath);

    FolderCache& Folders() { return m_Folders; }
    const std::vector<OlderItem>& OlderItems() const { return m_Older; }
    // Item definitions met in the current category, repeated names included.
    size_t ItemCount() const { return m_Items.Count(); }

  private:
    void LibraryFile(const std::string& folder, const std::string& name, bool throughLink) override;
    void ApplyRecord(const FileRecord& record, const std::string& fullPath);
    // reported: whether the file's findings are reported (its path below
    // the root holds no "NFP"), relative: that path.
    void CheckComponent(std::string_view reference, const FileRecord::Event& event,
                        std::string_view relative, bool reported);
    void CheckItemName(std::string_view name, const FileRecord::Event& event,
                       const std::string& fullPath, const FileRecord& record);
    std::string_view RelativePath(std::string_view fullPath) const;

    std::string m_LibraryRoot;  // ends in the separator
    FindingSink& m_Sink;
    ProgressObserver& m_Progress;
    platform::FileSystem& m_Fs;
    FolderCache m_Folders;
    LibraryWalk m_Walk;

    // The category being checked.
    ItemList m_Items;
    MissingComponentList m_MissingComponents;
    ComponentRefList m_ComponentRefs;
    // The category's syntax errors and missing textures until its end, kept
    // compactly: their texts one after the other, their files once each.
    struct PendingRow {
        std::uint32_t file;  // into m_RowFiles
        std::uint32_t length;
        size_t offset;  // into m_RowTexts
        size_t lineNumber;
    };
    void KeepRow(std::vector<PendingRow>& rows, std::string_view text,
                 std::string_view relativePath, size_t lineNumber);
    // Hands the kept rows to the sink as findings of one kind, text being
    // the finding's member that takes the row's text.
    template <typename Finding>
    void PassRows(const std::vector<PendingRow>& rows, std::string Finding::*text,
                  void (FindingSink::*pass)(const Finding&));
    std::string m_RowTexts;
    std::vector<std::string> m_RowFiles;
    std::vector<PendingRow> m_SyntaxErrors;
    std::vector<PendingRow> m_MissingTextures;

    // The whole run.
    std::vector<OlderItem> m_Older;
    size_t m_FilesChecked = 0;
    size_t m_ItemsMet = 0;

    // Scratch space of the scan.
    std::string m_Bytes;
    ItemFileScanner m_Scanner;
    FileRecord m_Record;
    TextureLookup m_Textures;
    std::string m_FilePath;  // the library file being read
};

}  // namespace corvane
