// The walk over one category folder: subfolders first, depth first, then the
// folder's own library files, each in walk order.
#include "audit/check_run.h"
#include "text/text.h"

namespace corvane {

using platform::EntryKind;

void Checker::ShowFolder(const std::string& folder) {
    m_Progress.Status(std::string(RelativePath(folder)));
}

void Checker::WalkFolder(const std::string& folder, std::string_view pattern) {
    // A link back up the tree must not lead round and round.
    if (auto identity = m_Fs.IdentityOf(folder)) {
        if (!m_Walked.insert(*identity).second) return;
    }

    ShowFolder(folder);
    const FolderCache::Listing& listing = m_Folders.Get(folder);
    // A folder that cannot be read ends the check: a part of the library
    // left out without a word would make the report wrong.
    if (listing.failure) std::rethrow_exception(listing.failure);
    std::string path;
    for (const FolderCache::Entry& entry : listing.entries) {
        if (entry.kind != EntryKind::kFolder) continue;
        path = folder;
        path += platform::kSeparator;
        path += entry.name;
        WalkFolder(path, pattern);
    }
    ShowFolder(folder);

    // Only regular files are library files: a folder, FIFO, socket or
    // dangling link named like one is passed over.
    std::string_view extension = pattern.substr(pattern.find('.'));
    for (const FolderCache::Entry& entry : listing.entries) {
        if (entry.kind != EntryKind::kFile || !text::EndsWithNoCase(entry.name, extension)) {
            continue;
        }
        path = folder;
        path += platform::kSeparator;
        path += entry.name;
        CheckItemFile(path);
    }
}

}  // namespace corvane
