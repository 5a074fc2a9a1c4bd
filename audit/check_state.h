// Everything one check run accumulates for its report and for the delete
// command, and the progress display the long commands report to. The front
// end owns one CheckState and one ProgressDisplay for its whole life.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "audit/name_table.h"
#include "platform/text.h"

namespace corvane {

class Report;

// A report entry that pairs a text (a line, a texture or component name) with
// the path of the file it came from.
struct TextAndPath {
    std::string text;
    std::string path;
};

// The item definitions met so far in the current category, each with the file
// that holds it and that file's item stamp. A name may be defined many times;
// what the check asks is whether it is defined, and its most recent
// definition.
class ItemList {
  public:
    struct Definition {
        std::string_view name;
        std::string_view file;
        std::string_view stamp;
    };

    // Every name comes with its NameTable::Hash.
    void Clear();
    void Add(std::string_view name, std::uint64_t hash, std::string_view fullPath,
             std::string_view stamp);
    bool Contains(std::string_view name, std::uint64_t hash) const;
    // The most recent definition of name, if any.
    bool FindLatest(std::string_view name, std::uint64_t hash, Definition& found) const;
    void Prefetch(std::uint64_t hash) const { m_Latest.Prefetch(hash); }
    // Definitions added, repeated names included.
    size_t Count() const { return m_Count; }

  private:
    struct File {
        std::string path;
        std::string stamp;
    };

    std::vector<File> m_Files;  // files that defined items, in walk order
    NameTable m_Latest;         // name -> m_Files index of its newest definition
    size_t m_Count = 0;
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
    // The remaining names from first to last.
    std::vector<std::string> Names() const;

  private:
    std::vector<std::string> m_Order;
    std::vector<bool> m_Removed;
    NameTable m_Position;  // name -> m_Order index
    size_t m_Count = 0;
};

// Each missing component's references: the name and the full path of the file
// whose line made it, in the order they were made.
class ComponentRefList {
  public:
    void Clear();
    void Add(std::string_view name, std::string_view fullPath);
    // The full paths recorded for exactly this name, in order.
    std::vector<std::string_view> PathsOf(std::string_view name) const;

  private:
    std::vector<TextAndPath> m_Entries;
    std::unordered_map<std::string, std::vector<size_t>, platform::StringHash, std::equal_to<>>
        m_ByName;
};

struct CheckState {
    ItemList m_Items;  // the item names, files and stamps of the category, in step
    MissingComponentList m_MissingComponents;
    Report* m_pReport = nullptr;  // the open report while a run lasts
    std::string m_LibraryRoot;    // ends in the separator
    ComponentRefList m_ComponentRefs;
    std::deque<std::string> m_OlderNames;
    std::deque<std::string> m_OlderFiles;       // relative paths, in step with m_OlderNames
    std::deque<TextAndPath> m_SyntaxErrors;     // line, full path
    std::deque<TextAndPath> m_MissingTextures;  // texture name, relative path
    bool m_bShade = false;
};

// The delete button of a front end that has one.
class DeleteButton {
  public:
    virtual ~DeleteButton() = default;
    virtual void SetLabel(const std::string& label) = 0;
    virtual void Enable(bool enabled) = 0;
};

// How a command shows where it is.
class ProgressDisplay {
  public:
    virtual ~ProgressDisplay() = default;
    // Sets the status text and hands it to the status line, which shows it
    // when it next paints.
    virtual void SetStatus(const std::string& text) = 0;
    // Puts the status line on the screen now.
    virtual void RefreshStatus() = 0;
    // The delete button, or none for a front end without one.
    virtual DeleteButton* GetDeleteButton() { return nullptr; }
};

}  // namespace corvane
