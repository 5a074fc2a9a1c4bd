// The lists one category of a check run keeps while its files are scanned:
// the item names defined so far, the components referred to but not defined,
// and the files that referred to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "audit/findings.h"
#include "audit/name_table.h"
#include "platform/files.h"
#include "text/text.h"

namespace corvane {

// The item definitions met so far in the current category, each with the file
// that holds it, that file's item stamp and its identity on the disk, and its
// name line. A name may be defined many times; what the check asks is whether
// it is defined, and its most recent definition.
class ItemList {
  public:
    struct Definition {
        std::string_view name;
        std::string_view file;
        std::string_view stamp;
        platform::FileIdentity identity;
        bool throughLink = false;
        size_t lineNumber = 0;
    };

    // Every name comes with its NameTable::Hash.
    void Clear();
    void Add(std::string_view name, std::uint64_t hash, std::string_view fullPath,
             std::string_view stamp, const platform::FileIdentity& identity, bool throughLink,
             size_t lineNumber);
    bool Contains(std::string_view name, std::uint64_t hash) const;
    // The most recent definition of name, if any.
    bool FindLatest(std::string_view name, std::uint64_t hash, Definition& found) const;
    void Prefetch(std::uint64_t hash) const { m_Latest.Prefetch(hash); }
    void PrefetchName(std::uint64_t hash) const { m_Latest.PrefetchName(hash); }
    // Definitions added, repeated names included.
    size_t Count() const { return m_Definitions.size(); }

  private:
    struct File {
        std::string path;
        std::string stamp;
        platform::FileIdentity identity;
        bool throughLink;
    };
    struct Line {
        std::uint32_t file;  // m_Files index
        size_t lineNumber;
    };

    std::vector<File> m_Files;        // files that defined items, in walk order
    std::vector<Line> m_Definitions;  // every definition, in walk order
    NameTable m_Latest;               // name -> m_Definitions index of its newest definition
};

// Component names referred to but not defined so far in the category, in the
// order they were first met; each name at most once.
class MissingComponentList {
  public:
    // Every name comes with its NameTable::Hash.
    void Clear();
    bool Contains(std::string_view name, std::uint64_t hash) const;
    void Add(std::string_view name, std::uint64_t hash);
    // Takes the name out; false when it was not there.
    bool Remove(std::string_view name, std::uint64_t hash);
    void Prefetch(std::uint64_t hash) const { m_Position.Prefetch(hash); }
    void PrefetchName(std::uint64_t hash) const { m_Position.PrefetchName(hash); }
    // The remaining names from first to last.
    std::vector<std::string> Names() const;

  private:
    std::vector<std::string> m_Order;
    std::vector<bool> m_Removed;
    NameTable m_Position;  // name -> m_Order index
    size_t m_Count = 0;
};

// Each missing component's references: the paths of the files whose lines
// made them, in the order they were made, each with the line that made it.
class ComponentRefList {
  public:
    void Clear();
    void Add(std::string_view name, std::string_view path, size_t lineNumber);
    // The missing component name with the files and lines recorded for
    // exactly this name, in order.
    ComponentFinding FindingOf(std::string_view name) const;

  private:
    struct Refs {
        std::vector<std::string> paths;
        std::vector<size_t> lineNumbers;
    };
    std::unordered_map<std::string, Refs, text::StringHash, std::equal_to<>> m_ByName;
};

}  // namespace corvane
