#include "audit/walk.h"

#include "text/text.h"

namespace corvane {

using platform::EntryKind;

std::string LibraryWalk::CategoryFolder(const std::string& libraryRoot, std::string_view title) {
    const FolderCache::Listing& root = m_Folders.Get(libraryRoot);
    if (root.failure) std::rethrow_exception(root.failure);
    std::string_view name = title;
    bool exact = false;
    for (const FolderCache::Entry& entry : root.entries) {
        if (entry.name == title) exact = true;
    }
    if (!exact) {
        // The listing is in walk order; no entry matches exactly.
        for (const FolderCache::Entry& entry : root.entries) {
            if (entry.kind == EntryKind::kFolder && text::EqualsNoCase(entry.name, title)) {
                name = entry.name;
                break;
            }
        }
    }
    return libraryRoot + std::string(name);
}

void LibraryWalk::WalkCategory(const std::string& folder, std::string_view pattern,
                               WalkVisitor& visitor) {
    m_Walked.clear();
    // Whether the category folder itself is a link, as the root's listing says.
    const std::string_view name =
        std::string_view(folder).substr(platform::FolderOf(folder).size());
    bool link = false;
    for (const FolderCache::Entry& entry : m_Folders.Get(platform::FolderOf(folder)).entries) {
        if (entry.name == name) link = entry.link;
    }
    WalkFolder(folder, pattern.substr(pattern.find('.')), link, visitor);
}

void LibraryWalk::WalkFolder(const std::string& folder, std::string_view extension,
                             bool throughLink, WalkVisitor& visitor) {
    // A link back up the tree must not lead round and round.
    if (auto identity = m_Fs.IdentityOf(folder)) {
        if (!m_Walked.insert(*identity).second) return;
    }

    visitor.ShowFolder(folder);
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
        WalkFolder(path, extension, throughLink || entry.link, visitor);
    }
    visitor.ShowFolder(folder);

    // Only regular files are library files: a folder, FIFO, socket or
    // dangling link named like one is passed over.
    for (const FolderCache::Entry& entry : listing.entries) {
        if (entry.kind == EntryKind::kFile && text::EndsWithNoCase(entry.name, extension)) {
            visitor.LibraryFile(folder, entry.name, throughLink || entry.link);
        }
    }
}

}  // namespace corvane
