#include "audit/folder_cache.h"

#include <algorithm>

namespace corvane {

using platform::EntryKind;
using platform::kSeparator;

const FolderCache::Listing& FolderCache::Get(std::string_view folder) {
    std::lock_guard<std::mutex> hold(m_GetLock);
    // The texture lookups of one library file all ask for its folder.
    if (m_LastListing && folder == m_LastFolder) return *m_LastListing;
    m_LastFolder.assign(folder);
    m_Key.assign(folder);
    if (m_Key.empty() || m_Key.back() != kSeparator) m_Key += kSeparator;
    auto found = m_Listings.find(m_Key);
    if (found != m_Listings.end()) return *(m_LastListing = found->second.get());

    auto listing = std::make_unique<Listing>();
    for (platform::FolderEntry& e : m_Fs.ListFolder(m_Key)) {
        listing->entries.push_back({std::move(e.name), e.kind});
    }
    std::sort(listing->entries.begin(), listing->entries.end(), [](const Entry& a, const Entry& b) {
        return platform::NameOrderLess(a.name, b.name);
    });
    m_LastListing = listing.get();
    m_Listings.emplace(m_Key, std::move(listing));
    return *m_LastListing;
}

const std::vector<size_t>* FolderCache::SameNameIgnoringCase(const Listing& listing,
                                                             std::string_view name) {
    if (!listing.indexed) {
        for (size_t i = 0; i < listing.entries.size(); ++i) {
            listing.byLowerName[platform::ToLower(listing.entries[i].name)].push_back(i);
        }
        listing.indexed = true;
    }
    platform::ToLowerInto(name, m_Lower);
    auto it = listing.byLowerName.find(m_Lower);
    return it == listing.byLowerName.end() ? nullptr : &it->second;
}

std::vector<const FolderCache::Entry*> FolderCache::Matching(const Listing& listing,
                                                             std::string_view name) {
    std::vector<const Entry*> matches;
    const std::vector<size_t>* same = SameNameIgnoringCase(listing, name);
    if (!same) return matches;
    for (size_t i : *same) {
        const Entry* entry = &listing.entries[i];
        if (entry->name == name) {
            matches.insert(matches.begin(), entry);
        } else {
            matches.push_back(entry);
        }
    }
    return matches;
}

bool FolderCache::HasReadableFile(std::string& folder, const Listing& listing,
                                  std::string_view name) {
    const std::vector<size_t>* same = SameNameIgnoringCase(listing, name);
    if (!same) return false;
    const size_t base = folder.size();
    auto readable = [&](const Entry& entry) {
        if (entry.kind != EntryKind::kFile) return false;
        if (entry.readable < 0) {
            folder.resize(base);
            folder += entry.name;
            entry.readable = m_Fs.CanRead(folder) ? 1 : 0;
            folder.resize(base);
        }
        return entry.readable == 1;
    };
    // An exact match first, then the others in walk order.
    for (size_t i : *same) {
        if (listing.entries[i].name == name && readable(listing.entries[i])) return true;
    }
    for (size_t i : *same) {
        if (listing.entries[i].name != name && readable(listing.entries[i])) return true;
    }
    return false;
}

bool FolderCache::FileExists(std::string_view folder, std::string_view relative) {
    // No system opens a path longer than this; it also bounds the recursion.
    constexpr size_t kLongestPath = 4096;
    if (folder.size() + relative.size() > kLongestPath) return false;

    // Most references name a file in the folder itself.
    if (relative.find_first_of("/\\") == std::string_view::npos) {
        if (relative.empty() || relative == "." || relative == "..") return false;
        m_Base.assign(folder);
        if (m_Base.empty() || m_Base.back() != kSeparator) m_Base += kSeparator;
        return HasReadableFile(m_Base, Get(folder), relative);
    }

    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= relative.size(); ++i) {
        if (i == relative.size() || relative[i] == '/' || relative[i] == '\\') {
            parts.push_back(relative.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string base(folder);
    if (base.empty() || base.back() != kSeparator) base += kSeparator;
    m_Failed.clear();
    m_Steps = 0;
    return Resolve(base, parts, 0);
}

bool FolderCache::Resolve(std::string& folder, const std::vector<std::string_view>& parts,
                          size_t index) {
    if (++m_Steps > kMostSteps) return false;
    // The step's key: the folder, a NUL (no name holds one) and the index.
    size_t base = folder.size();
    auto addIndex = [&] {
        folder += '\0';
        folder.append(reinterpret_cast<const char*>(&index), sizeof index);
    };
    addIndex();
    bool failedBefore = m_Failed.find(std::string_view(folder)) != m_Failed.end();
    folder.resize(base);
    if (failedBefore) return false;
    if (TakeStep(folder, parts, index)) return true;
    addIndex();
    m_Failed.emplace(folder);
    folder.resize(base);
    return false;
}

bool FolderCache::TakeStep(std::string& folder, const std::vector<std::string_view>& parts,
                           size_t index) {
    std::string_view part = parts[index];
    bool last = index + 1 == parts.size();
    if (part.empty() || part == "." || part == "..") {
        if (last) return false;  // a folder, not a file
        if (part != "..") return Resolve(folder, parts, index + 1);
        std::string saved = folder;
        size_t parent =
            folder.size() > 1 ? folder.rfind(kSeparator, folder.size() - 2) : folder.size() - 1;
        if (parent == std::string::npos) return false;
        folder.erase(parent + 1);
        bool found = Resolve(folder, parts, index + 1);
        folder = std::move(saved);
        return found;
    }

    const Listing& listing = Get(folder);
    if (last) return HasReadableFile(folder, listing, part);
    size_t base = folder.size();
    for (const Entry* entry : Matching(listing, part)) {
        folder.resize(base);
        folder += entry->name;
        if (entry->kind == EntryKind::kFolder) {
            folder += kSeparator;
            if (Resolve(folder, parts, index + 1)) {
                folder.resize(base);
                return true;
            }
        }
    }
    folder.resize(base);
    return false;
}

}  // namespace corvane
