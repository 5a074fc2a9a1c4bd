// Byte-string helpers shared by the audit and the cleanup. Library texts are
// bytes in the system code page: nothing here assumes UTF-8, and only the
// ASCII letters A-Z and a-z are ever folded.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::text {

// White space for trimming: space, tab, line feed, vertical tab, form feed,
// carriage return.
constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Called for every line of every library file, so defined here to be inlined.
inline std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Lower-cases A-Z only; every other byte stays as it is.
std::string ToLower(std::string_view text);
void ToLowerInto(std::string_view text, std::string& out);

// Called for keyword lines and folder entries, so defined here to be inlined.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
    }
    return true;
}
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}
inline bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Names compared after folding a-z to A-Z: negative, zero (equal without
// regard to case) or positive.
int CompareFolded(std::string_view a, std::string_view b);
// The order in which a folder's entries are walked: CompareFolded, ties
// broken by plain byte order.
bool NameOrderLess(std::string_view a, std::string_view b);

// The length of the UTF-8 sequence that starts at text[at], or 0 when none
// well-formed does: no stray continuation byte, no overlong form, nothing
// above U+10FFFF, and, unless surrogates is set, no surrogate.
size_t Utf8SequenceLength(std::string_view text, size_t at, bool surrogates = false);
// Well-formed UTF-8 throughout.
bool IsUtf8(std::string_view text);
// A library text as UTF-8: as it is when it is UTF-8, otherwise each byte as
// the character of the same number (Latin-1). The rule every writer of
// library text to a UTF-8 reader follows (JSON, diagnostics, the dialogs).
std::string Utf8OrLatin1(std::string_view bytes);

// Replaces every occurrence of `what` in `text` by nothing.
void EraseAll(std::string& text, std::string_view what);

// A library text for a line of console or tool output: each control
// character (below 0x20, and 0x7F) as '?', so that none steers a terminal or
// breaks the line.
std::string Printable(std::string_view text);

// Hash for unordered containers keyed by std::string that are searched with
// std::string_view, so that a lookup makes no copy.
struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Splits a byte buffer into lines as a text-mode reader does: a line ends at
// LF, a CR just before the LF is not part of the line, a last line without LF
// counts, and every other byte is kept as it is.
class LineReader {
  public:
    explicit LineReader(std::string_view bytes) : m_Rest(bytes) {}
    bool Next(std::string_view& line) {
        if (m_Rest.empty()) return false;
        const void* lf = std::memchr(m_Rest.data(), '\n', m_Rest.size());
        size_t end = lf ? size_t(static_cast<const char*>(lf) - m_Rest.data()) : m_Rest.size();
        line = m_Rest.substr(0, end);
        if (lf && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        m_Rest.remove_prefix(lf ? end + 1 : end);
        return true;
    }

  private:
    std::string_view m_Rest;
};

}  // namespace corvane::text
