// A hash table from names to small numbers, for the lookups that the check
// makes for every name and component line. The names are kept one after the
// other in one block and the slots are a flat array, so that a lookup in a
// table of a few hundred thousand names costs one or two cache misses rather
// than the four or five of a node-based map.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class NameTable {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // Forgets every name.
    void Clear();
    size_t Size() const { return m_Count; }

    // The hash a table keeps a name under. A caller that asks about the same
    // name more than once, or that made it on another thread, passes it in.
    static std::uint64_t Hash(std::string_view name);

    // The number stored for name, or kNone.
    std::uint32_t Find(std::string_view name) const { return Find(name, Hash(name)); }
    std::uint32_t Find(std::string_view name, std::uint64_t hash) const;
    // Stores value for name, in place of any number it had.
    void Set(std::string_view name, std::uint32_t value) { Set(name, Hash(name), value); }
    void Set(std::string_view name, std::uint64_t hash, std::uint32_t value);
    // Starts fetching the slot where a lookup of hash begins, for a lookup
    // soon after.
    void Prefetch(std::uint64_t hash) const {
        if (!m_Slots.empty()) __builtin_prefetch(&m_Slots[Home(hash)]);
    }
    // Starts fetching the name held in that slot, if it may be the one
    // looked up: the second step of a lookup, once Prefetch has had time.
    void PrefetchName(std::uint64_t hash) const {
        if (m_Slots.empty()) return;
        const Slot& slot = m_Slots[Home(hash)];
        if (slot.length != kEmpty && slot.tag == Tag(hash)) {
            __builtin_prefetch(m_Names.data() + slot.offset);
        }
    }

  private:
    struct Slot {
        std::uint32_t tag;     // the upper half of the name's hash
        std::uint32_t offset;  // of the name in m_Names
        std::uint32_t length;  // kEmpty for a free slot
        std::uint32_t value;
    };
    static std::uint32_t Tag(std::uint64_t hash) { return std::uint32_t(hash >> 32); }
    // The slot where a lookup starts. It is taken from the tag, so that the
    // table grows without reading its names again.
    size_t Home(std::uint64_t hash) const { return size_t(Tag(hash)) & (m_Slots.size() - 1); }
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    // The slot that holds name, or the free slot where it would go.
    size_t Locate(std::string_view name, std::uint64_t hash) const;
    void Grow();

    std::vector<Slot> m_Slots;  // a power of two in size, never more than 3/4 full
    std::string m_Names;
    size_t m_Count = 0;
};

}  // namespace corvane
