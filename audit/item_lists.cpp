#include "audit/item_lists.h"

namespace corvane {

void ItemList::Clear() {
    m_Files.clear();
    m_Definitions.clear();
    m_Latest.Clear();
}

void ItemList::Add(std::string_view name, std::uint64_t hash, std::string_view fullPath,
                   std::string_view stamp, const platform::FileIdentity& identity, bool throughLink,
                   size_t lineNumber) {
    // Consecutive definitions come mostly from one file: share its record.
    if (m_Files.empty() || m_Files.back().path != fullPath || m_Files.back().stamp != stamp ||
        !(m_Files.back().identity == identity)) {
        m_Files.push_back({std::string(fullPath), std::string(stamp), identity, throughLink});
    }
    m_Latest.Set(name, hash, std::uint32_t(m_Definitions.size()));
    m_Definitions.push_back({std::uint32_t(m_Files.size() - 1), lineNumber});
}

bool ItemList::Contains(std::string_view name, std::uint64_t hash) const {
    return m_Latest.Find(name, hash) != NameTable::kNone;
}

bool ItemList::FindLatest(std::string_view name, std::uint64_t hash, Definition& found) const {
    std::uint32_t at = m_Latest.Find(name, hash);
    if (at == NameTable::kNone) return false;
    const Line& line = m_Definitions[at];
    const File& file = m_Files[line.file];
    found = {name, file.path, file.stamp, file.identity, file.throughLink, line.lineNumber};
    return true;
}

void MissingComponentList::Clear() {
    m_Order.clear();
    m_Removed.clear();
    m_Position.Clear();
    m_Count = 0;
}

bool MissingComponentList::Contains(std::string_view name, std::uint64_t hash) const {
    std::uint32_t at = m_Position.Find(name, hash);
    return at != NameTable::kNone && !m_Removed[at];
}

void MissingComponentList::Add(std::string_view name, std::uint64_t hash) {
    m_Position.Set(name, hash, std::uint32_t(m_Order.size()));
    m_Order.emplace_back(name);
    m_Removed.push_back(false);
    ++m_Count;
}

bool MissingComponentList::Remove(std::string_view name, std::uint64_t hash) {
    std::uint32_t at = m_Position.Find(name, hash);
    if (at == NameTable::kNone || m_Removed[at]) return false;
    m_Removed[at] = true;
    --m_Count;
    return true;
}

std::vector<std::string> MissingComponentList::Names() const {
    std::vector<std::string> names;
    names.reserve(m_Count);
    for (size_t i = 0; i < m_Order.size(); ++i) {
        if (!m_Removed[i]) names.push_back(m_Order[i]);
    }
    return names;
}

void ComponentRefList::Clear() {
    m_ByName.clear();
}

void ComponentRefList::Add(std::string_view name, std::string_view path, size_t lineNumber) {
    auto found = m_ByName.find(name);
    if (found == m_ByName.end()) found = m_ByName.try_emplace(std::string(name)).first;
    found->second.paths.emplace_back(path);
    found->second.lineNumbers.push_back(lineNumber);
}

ComponentFinding ComponentRefList::FindingOf(std::string_view name) const {
    auto found = m_ByName.find(name);
    if (found == m_ByName.end()) return {std::string(name), {}, {}};
    return {std::string(name), found->second.paths, found->second.lineNumbers};
}

}  // namespace corvane
