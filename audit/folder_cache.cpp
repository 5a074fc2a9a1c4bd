#include "audit/folder_cache.h"

#include <algorithm>

namespace corvane {

using platform::EntryKind;
using platform::kSeparator;

const FolderCache::Listing& FolderCache::Get(std::string_view folder) {
    m_Key.assign(folder);
    if (m_Key.empty() || m_Key.back() != kSeparator) m_Key += kSeparator;
    auto found = m_Listings.find(m_Key);
    if (found != m_Listings.end()) return *found->second;

    auto listing = std::make_unique<Listing>();
    for (platform::FolderEntry& e : m_Fs.ListFolder(m_Key)) {
        listing->entries.push_back({std::move(e.name), e.kind});
    }
    std::sort(listing->entries.begin(), listing->entries.end(), [](const Entry& a, const Entry& b) {
        return platform::NameOrderLess(a.name, b.name);
    });
    return *m_Listings.emplace(m_Key, std::move(listing)).first->second;
}

std::vector<const FolderCache::Entry*> FolderCache::Matching(const Listing& listing,
                                                             std::string_view name) const {
    if (!listing.indexed) {
        for (size_t i = 0; i < listing.entries.size(); ++i) {
            listing.byLowerName[platform::ToLower(listing.entries[i].name)].push_back(i);
        }
        listing.indexed = true;
    }
    std::vector<const Entry*> matches;
    auto it = listing.byLowerName.find(platform::ToLower(name));
    if (it == listing.byLowerName.end()) return matches;
    for (size_t i : it->second) {
        const Entry* entry = &listing.entries[i];
        if (entry->name == name) {
            matches.insert(matches.begin(), entry);
        } else {
            matches.push_back(entry);
        }
    }
    return matches;
}

bool FolderCache::FileExists(std::string_view folder, std::string_view relative) {
    // No system opens a path longer than this; it also bounds the recursion.
    constexpr size_t kLongestPath = 4096;
    if (folder.size() + relative.size() > kLongestPath) return false;
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
    size_t base = folder.size();
    for (const Entry* entry : Matching(listing, part)) {
        folder.resize(base);
        folder += entry->name;
        if (last) {
            if (entry->kind != EntryKind::kFile) continue;
            if (entry->readable < 0) entry->readable = m_Fs.CanRead(folder) ? 1 : 0;
            if (entry->readable) {
                folder.resize(base);
                return true;
            }
        } else if (entry->kind == EntryKind::kFolder) {
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
