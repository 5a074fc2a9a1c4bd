#include "audit/name_table.h"

#include <cstring>
#include <functional>

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

std::uint64_t NameTable::Hash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

size_t NameTable::Locate(std::string_view name, std::uint64_t hash) const {
    const size_t mask = m_Slots.size() - 1;
    const std::uint32_t tag = std::uint32_t(hash >> 32);
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
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
        slot.tag = std::uint32_t(hash >> 32);
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
        std::string_view name(m_Names.data() + slot.offset, slot.length);
        size_t i = size_t(Hash(name)) & mask;
        while (m_Slots[i].length != kEmpty) i = (i + 1) & mask;
        m_Slots[i] = slot;
    }
}

}  // namespace corvane
