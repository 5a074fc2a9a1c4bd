// The scan of one library file as a record of what its lines hold, in line
// order: the item names, component references, syntax errors and texture
// references, each with its line number, and the file's item stamp or the
// error that reading it met.
// A record needs nothing of the check state, so files can be read and scanned
// on any thread and their records applied to the check state, in walk order,
// on one.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace corvane {

class FileRecord {
  public:
    enum class Kind : std::uint8_t {
        kName,         // a name line: the item name
        kComponent,    // a component line: the component reference
        kSyntaxError,  // a skin line with a bad quote: its working line
        kTexture,      // a skin or bitmap line: the texture it names
    };
    struct Event {
        Kind kind;
        size_t offset;  // of the event's text in the record
        size_t length;
        std::uint64_t hash;  // NameTable::Hash of the text
        size_t lineNumber;   // 1-based; a line ends at a line feed
    };

    // Forgets everything, keeping the memory for the next file.
    void Clear();

    // The events added from now on stand on line lineNumber.
    void BeginLine(size_t lineNumber) { m_LineNumber = lineNumber; }
    // Adds an event whose text is text lower-cased, then suffix.
    void AddLowered(Kind kind, std::string_view text, std::string_view suffix = {});
    // The same for a text that is lower-case already.
    void AddAsIs(Kind kind, std::string_view text, std::string_view suffix = {});
    const std::vector<Event>& Events() const { return m_Events; }
    // Keeps the events for which keep(event) holds, in their order; their
    // texts stay where they are.
    template <typename Keep>
    void KeepEvents(Keep keep) {
        size_t kept = 0;
        for (size_t i = 0; i < m_Events.size(); ++i) {
            if (keep(std::as_const(m_Events[i]))) m_Events[kept++] = m_Events[i];
        }
        m_Events.resize(kept);
        m_LastTexture = SIZE_MAX;
    }
    std::string_view Text(const Event& event) const {
        return std::string_view(m_Text).substr(event.offset, event.length);
    }

    std::string stamp;                  // the file's item stamp
    platform::FileIdentity identity{};  // the file's identity on the disk
    bool throughLink = false;           // reached through a link: never written to
    std::exception_ptr error;           // what reading the file raised, if anything

  private:
    void Add(Kind kind, std::string_view text, std::string_view suffix, bool lower);

    std::vector<Event> m_Events;
    std::string m_Text;
    size_t m_LastTexture = SIZE_MAX;  // the index of the last texture event
    size_t m_LineNumber = 0;          // of the events being added
};

// Scans library files into records. One scanner serves one thread; it keeps
// its working memory from file to file.
class ItemFileScanner {
  public:
    // Fills record's events from the bytes of one library file; its stamp and
    // error are left as they are.
    void Scan(std::string_view bytes, FileRecord& record);

  private:
    void ScanKeywordLine(std::string_view kept, size_t bmp, FileRecord& record);

    std::string m_Work;
    std::string m_Buffer;
    std::string m_CurrentItemName;
};

}  // namespace corvane
