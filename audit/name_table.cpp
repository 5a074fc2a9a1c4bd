#include "audit/name_table.h"

#include <cstring>

namespace corvane {

void NameTable::Clear() {
    if (m_Count == 0) return;
    // A small table is kept for the next use; a large one is given back, so
    // that clearing costs no more than filling did.
    if (m_Slots.size() <= 1024) {
        for (Slot& slot : m_Slots) slot.length = kEmpty;
    } else {
        m_Slots.clear();
        m_Names.clear();
        m_Names.shrink_to_fit();
    }
    m_Names.clear();
    m_Count = 0;
}

namespace {

// The two halves of a 128-bit product folded together: mixes every bit of
// both factors into every bit of the result.
std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
    __extension__ using Wide = unsigned __int128;  // GCC's and Clang's, on 64-bit targets
    const Wide product = Wide(a) * b;
    return std::uint64_t(product) ^ std::uint64_t(product >> 64);
}

}  // namespace

std::uint64_t NameTable::Hash(std::string_view name) {
    // Eight bytes a step: names are short, and a general-purpose string hash
    // spent more on them than the lookups did.
    constexpr std::uint64_t kSeed = 0x9e3779b97f4a7c15, kPrime = 0xd6e8feb86659fd93;
    const char* bytes = name.data();
    size_t left = name.size();
    std::uint64_t hash = kSeed ^ left;
    for (; left >= 8; bytes += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        hash = Fold(hash ^ word, kPrime);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, bytes, left);
    return Fold(hash ^ tail, kPrime ^ (std::uint64_t(left) << 56));
}

size_t NameTable::Locate(std::string_view name, std::uint64_t hash) const {
    const size_t mask = m_Slots.size() - 1;
    const std::uint32_t tag = Tag(hash);
    for (size_t i = Home(hash);; i = (i + 1) & mask) {
        const Slot& slot = m_Slots[i];
        if (slot.length == kEmpty) return i;
        if (slot.tag == tag && slot.length == name.size() &&
            std::memcmp(m_Names.data() + slot.offset, name.data(), name.size()) == 0) {
            return i;
        }
    }
}

std::uint32_t NameTable::Find(std::string_view name, std::uint64_t hash) const {
    if (m_Slots.empty()) return kNone;
    const Slot& slot = m_Slots[Locate(name, hash)];
    return slot.length == kEmpty ? kNone : slot.value;
}

void NameTable::Set(std::string_view name, std::uint64_t hash, std::uint32_t value) {
    if ((m_Count + 1) * 4 > m_Slots.size() * 3) Grow();
    Slot& slot = m_Slots[Locate(name, hash)];
    if (slot.length == kEmpty) {
        slot.tag = Tag(hash);
        slot.offset = std::uint32_t(m_Names.size());
        slot.length = std::uint32_t(name.size());
        m_Names.append(name);
        ++m_Count;
    }
    slot.value = value;
}

void NameTable::Grow() {
    std::vector<Slot> old = std::move(m_Slots);
    m_Slots.assign(old.empty() ? 64 : old.size() * 2, Slot{0, 0, kEmpty, 0});
    const size_t mask = m_Slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.length == kEmpty) continue;
        size_t i = size_t(slot.tag) & mask;
        while (m_Slots[i].length != kEmpty) i = (i + 1) & mask;
        m_Slots[i] = slot;
    }
}

}  // namespace corvane
