// Folder listings, each read from the disk once per check run. The walk takes
// its entries from here, and the texture lookup matches names in them without
// regard to case, as the library's home platform does.
//
// Get() may be called from several threads at once, and a listing's entries
// never change once it is made, so every thread sees the same listing of a
// folder. Everything else (the lookups, which index a listing and note which
// files are readable when first asked) belongs to one thread at a time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace corvane {

class FolderCache {
  public:
    struct Entry {
        std::string name;
        platform::EntryKind kind;
        mutable signed char readable = -1;  // unknown until a lookup asks
    };
    struct Listing {
        std::vector<Entry> entries;  // in walk order
        // Positions in entries by lower-cased name; built on first use.
        mutable std::unordered_map<std::string, std::vector<size_t>, platform::StringHash,
                                   std::equal_to<>>
            byLowerName;
        mutable bool indexed = false;
    };

    explicit FolderCache(platform::FileSystem& fs) : m_Fs(fs) {}

    // The listing of a folder, given with or without its trailing separator.
    const Listing& Get(std::string_view folder);

    // Entries whose name equals name without regard to ASCII case: an exact
    // match first, then the others in walk order.
    std::vector<const Entry*> Matching(const Listing& listing, std::string_view name);

    // True when a path built on this folder names a regular file that can be
    // read; its folders and its file name are matched without regard to case.
    // "/" and "\" both separate folders.
    bool FileExists(std::string_view folder, std::string_view relative);

  private:
    // Names that match without regard to case (folders "sub" and "SUB") and
    // links back up the tree let one lookup reach a folder by many routes, as
    // many as two to the number of parts. Resolve takes a step (a folder and
    // the part to match in it) only once per lookup, and a lookup gives up,
    // finding nothing, after kMostSteps steps.
    static constexpr size_t kMostSteps = 1 << 14;
    bool Resolve(std::string& folder, const std::vector<std::string_view>& parts, size_t index);
    bool TakeStep(std::string& folder, const std::vector<std::string_view>& parts, size_t index);
    // Positions of the entries whose names equal name without regard to case.
    const std::vector<size_t>* SameNameIgnoringCase(const Listing& listing, std::string_view name);
    // Whether folder (ending in the separator) holds a regular file that can
    // be read under name, without regard to case.
    bool HasReadableFile(std::string& folder, const Listing& listing, std::string_view name);

    platform::FileSystem& m_Fs;
    std::mutex m_GetLock;  // over m_Listings and the members that Get() uses
    std::unordered_map<std::string, std::unique_ptr<Listing>, platform::StringHash, std::equal_to<>>
        m_Listings;
    std::string m_Key;
    std::string m_Lower;
    std::string m_Base;
    std::string m_LastFolder;  // the folder Get() was last asked for, as asked
    const Listing* m_LastListing = nullptr;
    // The steps of the lookup in hand that found nothing, and how many it took.
    std::unordered_set<std::string, platform::StringHash, std::equal_to<>> m_Failed;
    size_t m_Steps = 0;
};

}  // namespace corvane
