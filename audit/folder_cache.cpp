#include "audit/folder_cache.h"

#include <algorithm>
#include <unordered_set>

namespace corvane {

using platform::EntryKind;
using platform::kSeparator;

namespace {

std::atomic<std::uint64_t> g_NextSerial{1};

// What one thread keeps between calls: the folder it last asked for.
struct LastListing {
    std::uint64_t cache = 0;
    std::string folder;
    const FolderCache::Listing* listing = nullptr;
};
thread_local LastListing t_Last;

// The entries whose names equal name without regard to case, side by side in
// the listing.
std::pair<size_t, size_t> SameNameIgnoringCase(const FolderCache::Listing& listing,
                                               std::string_view name) {
    const std::vector<FolderCache::Entry>& entries = listing.entries;
    auto first = std::lower_bound(entries.begin(), entries.end(), name,
                                  [](const FolderCache::Entry& entry, std::string_view key) {
                                      return text::CompareFolded(entry.name, key) <
                                             0;  // the walk order's first key
                                  });
    auto last = first;
    while (last != entries.end() && text::EqualsNoCase(last->name, name)) ++last;
    return {size_t(first - entries.begin()), size_t(last - entries.begin())};
}

}  // namespace

// The state of one FileExists call.
struct FolderCache::Lookup {
    std::vector<std::string_view> parts;
    // The steps that found nothing, and how many were taken.
    std::unordered_set<std::string, text::StringHash, std::equal_to<>> failed;
    size_t steps = 0;
};

FolderCache::FolderCache(platform::FileSystem& fs) : m_Fs(fs), m_Serial(g_NextSerial++) {}

FolderCache::~FolderCache() {
    if (t_Last.cache == m_Serial) t_Last = {};
}

const FolderCache::Listing& FolderCache::Get(std::string_view folder) {
    // The texture lookups of one library file all ask for its folder.
    if (t_Last.cache == m_Serial && t_Last.listing && folder == t_Last.folder) {
        return *t_Last.listing;
    }
    std::string key(folder);
    if (key.empty() || key.back() != kSeparator) key += kSeparator;
    const Listing* found = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        auto it = m_Listings.find(key);
        if (it != m_Listings.end()) found = it->second.get();
    }
    if (!found) {
        // Listed without the lock; should another thread have listed the
        // folder meanwhile, its listing is the one.
        auto listing = std::make_unique<Listing>();
        try {
            for (platform::FolderEntry& e : m_Fs.ListFolder(key)) {
                listing->entries.push_back({std::move(e.name), e.kind, e.link});
            }
        } catch (const platform::FileError&) {
            listing->entries.clear();
            listing->failure = std::current_exception();
        }
        std::sort(
            listing->entries.begin(), listing->entries.end(),
            [](const Entry& a, const Entry& b) { return text::NameOrderLess(a.name, b.name); });
        listing->readable = std::make_unique<std::atomic<signed char>[]>(listing->entries.size());
        for (size_t i = 0; i < listing->entries.size(); ++i) listing->readable[i] = -1;
        std::lock_guard<std::mutex> hold(m_Lock);
        found = m_Listings.try_emplace(key, std::move(listing)).first->second.get();
    }
    t_Last.cache = m_Serial;
    t_Last.folder.assign(folder);
    t_Last.listing = found;
    return *found;
}

bool FolderCache::HasReadableFile(std::string& folder, const Listing& listing,
                                  std::string_view name) {
    auto [first, last] = SameNameIgnoringCase(listing, name);
    const size_t base = folder.size();
    auto readable = [&](size_t i) {
        const Entry& entry = listing.entries[i];
        if (entry.kind != EntryKind::kFile) return false;
        signed char known = listing.readable[i].load(std::memory_order_relaxed);
        if (known < 0) {
            folder.resize(base);
            folder += entry.name;
            signed char asked = m_Fs.CanRead(folder) ? 1 : 0;
            folder.resize(base);
            // The first answer stands, whichever thread had it.
            known = -1;
            if (!listing.readable[i].compare_exchange_strong(known, asked,
                                                             std::memory_order_relaxed)) {
                return known == 1;
            }
            known = asked;
        }
        return known == 1;
    };
    // An exact match first, then the others in walk order.
    for (size_t i = first; i < last; ++i) {
        if (listing.entries[i].name == name && readable(i)) return true;
    }
    for (size_t i = first; i < last; ++i) {
        if (listing.entries[i].name != name && readable(i)) return true;
    }
    return false;
}

bool FolderCache::FileExists(std::string_view folder, std::string_view relative) {
    // No system opens a path longer than this; it also bounds the recursion.
    constexpr size_t kLongestPath = 4096;
    if (folder.size() + relative.size() > kLongestPath) return false;

    thread_local std::string base;
    base.assign(folder);
    if (base.empty() || base.back() != kSeparator) base += kSeparator;

    // Most references name a file in the folder itself.
    if (std::none_of(relative.begin(), relative.end(),
                     [](char c) { return c == '/' || c == '\\'; })) {
        if (relative.empty() || relative == "." || relative == "..") return false;
        return HasReadableFile(base, Get(folder), relative);
    }

    Lookup lookup;
    size_t start = 0;
    for (size_t i = 0; i <= relative.size(); ++i) {
        if (i == relative.size() || relative[i] == '/' || relative[i] == '\\') {
            lookup.parts.push_back(relative.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string path = base;
    return Resolve(lookup, path, 0);
}

bool FolderCache::Resolve(Lookup& lookup, std::string& folder, size_t index) {
    if (++lookup.steps > kMostSteps) return false;
    // The step's key: the folder, a NUL (no name holds one) and the index.
    size_t base = folder.size();
    auto addIndex = [&] {
        folder += '\0';
        folder.append(reinterpret_cast<const char*>(&index), sizeof index);
    };
    addIndex();
    bool failedBefore = lookup.failed.find(std::string_view(folder)) != lookup.failed.end();
    folder.resize(base);
    if (failedBefore) return false;
    if (TakeStep(lookup, folder, index)) return true;
    addIndex();
    lookup.failed.emplace(folder);
    folder.resize(base);
    return false;
}

bool FolderCache::TakeStep(Lookup& lookup, std::string& folder, size_t index) {
    std::string_view part = lookup.parts[index];
    bool last = index + 1 == lookup.parts.size();
    if (part.empty() || part == "." || part == "..") {
        if (last) return false;  // a folder, not a file
        if (part != "..") return Resolve(lookup, folder, index + 1);
        std::string saved = folder;
        size_t parent =
            folder.size() > 1 ? folder.rfind(kSeparator, folder.size() - 2) : folder.size() - 1;
        if (parent == std::string::npos) return false;
        folder.erase(parent + 1);
        bool found = Resolve(lookup, folder, index + 1);
        folder = std::move(saved);
        return found;
    }

    const Listing& listing = Get(folder);
    if (last) return HasReadableFile(folder, listing, part);
    // The folders of that name, an exact match first, then the others in
    // walk order.
    auto [first, end] = SameNameIgnoringCase(listing, part);
    std::vector<const Entry*> matches;
    for (size_t i = first; i < end; ++i) {
        const Entry* entry = &listing.entries[i];
        if (entry->name == part) {
            matches.insert(matches.begin(), entry);
        } else {
            matches.push_back(entry);
        }
    }
    size_t base = folder.size();
    for (const Entry* entry : matches) {
        folder.resize(base);
        folder += entry->name;
        if (entry->kind == EntryKind::kFolder) {
            folder += kSeparator;
            if (Resolve(lookup, folder, index + 1)) {
                folder.resize(base);
                return true;
            }
        }
    }
    folder.resize(base);
    return false;
}

}  // namespace corvane
