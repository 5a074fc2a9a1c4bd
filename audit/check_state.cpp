#include "audit/check_state.h"

namespace corvane {

void ItemList::Clear() {
    m_Files.clear();
    m_Definitions.clear();
    m_Latest.clear();
}

void ItemList::Add(std::string_view name, std::string_view fullPath, std::string_view stamp) {
    // Consecutive definitions come mostly from one file: share its record.
    if (m_Files.empty() || m_Files.back().path != fullPath || m_Files.back().stamp != stamp) {
        m_Files.push_back({std::string(fullPath), std::string(stamp)});
    }
    std::uint32_t position = std::uint32_t(m_Definitions.size());
    auto [it, inserted] = m_Latest.try_emplace(std::string(name), position);
    if (!inserted) it->second = position;
    m_Definitions.push_back({&it->first, std::uint32_t(m_Files.size() - 1)});
}

bool ItemList::Contains(std::string_view name) const {
    return m_Latest.find(name) != m_Latest.end();
}

ItemList::Definition ItemList::Describe(const Entry& entry) const {
    const File& file = m_Files[entry.file];
    return {*entry.name, file.path, file.stamp};
}

bool ItemList::FindLatest(std::string_view name, Definition& found) const {
    auto it = m_Latest.find(name);
    if (it == m_Latest.end()) return false;
    found = Describe(m_Definitions[it->second]);
    return true;
}

ItemList::Definition ItemList::At(size_t fromNewest) const {
    return Describe(m_Definitions[m_Definitions.size() - 1 - fromNewest]);
}

void MissingComponentList::Clear() {
    m_Order.clear();
    m_Removed.clear();
    m_Position.clear();
    m_Count = 0;
}

bool MissingComponentList::Contains(std::string_view name) const {
    auto it = m_Position.find(name);
    return it != m_Position.end() && !m_Removed[it->second];
}

void MissingComponentList::Add(std::string_view name) {
    m_Position[std::string(name)] = m_Order.size();
    m_Order.emplace_back(name);
    m_Removed.push_back(false);
    ++m_Count;
}

bool MissingComponentList::Remove(std::string_view name) {
    auto it = m_Position.find(name);
    if (it == m_Position.end() || m_Removed[it->second]) return false;
    m_Removed[it->second] = true;
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
    m_Entries.clear();
    m_ByName.clear();
}

void ComponentRefList::Add(std::string_view name, std::string_view fullPath) {
    m_ByName[std::string(name)].push_back(m_Entries.size());
    m_Entries.push_back({std::string(name), std::string(fullPath)});
}

std::vector<std::string_view> ComponentRefList::PathsOf(std::string_view name) const {
    std::vector<std::string_view> paths;
    auto it = m_ByName.find(name);
    if (it == m_ByName.end()) return paths;
    for (size_t i : it->second) paths.push_back(m_Entries[i].path);
    return paths;
}

}  // namespace corvane
