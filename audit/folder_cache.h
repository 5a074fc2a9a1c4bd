// Folder listings, each read from the disk once per check run. The walk takes
// its entries from here, and the texture lookup matches names in them without
// regard to case, as the library's home platform does.
//
// Every member may be called from several threads at once. A listing never
// changes once made, and whichever thread lists a folder first, every thread
// gets that one listing of it; whether a file is readable is asked of the
// disk once per run, and the first answer is the one every lookup gets. So
// a lookup gives the same answer on every thread.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "text/text.h"

namespace corvane {

class FolderCache {
  public:
    struct Entry {
        std::string name;
        platform::EntryKind kind;
        bool link = false;  // the entry itself is a link
    };
    struct Listing {
        // In walk order, which puts names that differ only in case side by
        // side.
        std::vector<Entry> entries;
        // Per entry: unknown (-1) until a lookup asks, then 1 when the entry
        // is a regular file that can be read, else 0.
        std::unique_ptr<std::atomic<signed char>[]> readable;
        // Why the folder could not be read, when it could not; it then has
        // no entries. The walk stops on it, a texture lookup finds nothing.
        std::exception_ptr failure;
    };

    explicit FolderCache(platform::FileSystem& fs);
    ~FolderCache();
    FolderCache(const FolderCache&) = delete;
    FolderCache& operator=(const FolderCache&) = delete;

    // The listing of a folder, given with or without its trailing separator.
    const Listing& Get(std::string_view folder);

    // True when a path built on this folder names a regular file that can be
    // read; its folders and its file name are matched without regard to case.
    // "/" and "\" both separate folders.
    bool FileExists(std::string_view folder, std::string_view relative);

  private:
    struct Lookup;
    // Names that match without regard to case (folders "sub" and "SUB") and
    // links back up the tree let one lookup reach a folder by many routes, as
    // many as two to the number of parts. Resolve takes a step (a folder and
    // the part to match in it) only once per lookup, and a lookup gives up,
    // finding nothing, after kMostSteps steps.
    static constexpr size_t kMostSteps = 1 << 14;
    bool Resolve(Lookup& lookup, std::string& folder, size_t index);
    bool TakeStep(Lookup& lookup, std::string& folder, size_t index);
    // Whether folder (ending in the separator) holds a regular file that can
    // be read under name, without regard to case.
    bool HasReadableFile(std::string& folder, const Listing& listing, std::string_view name);

    platform::FileSystem& m_Fs;
    const std::uint64_t m_Serial;  // tells this cache from others in a thread's memory
    std::mutex m_Lock;             // over m_Listings
    std::unordered_map<std::string, std::unique_ptr<Listing>, text::StringHash, std::equal_to<>>
        m_Listings;
};

}  // namespace corvane
