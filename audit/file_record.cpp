#include "audit/file_record.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audit/line_rules.h"
#include "audit/name_table.h"
#include "text/text.h"

namespace corvane {

using text::IsSpace;
using text::StartsWithNoCase;
using text::ToLowerAscii;

void FileRecord::Clear() {
    m_Events.clear();
    // The texts of a file of huge lines are not kept for the next file.
    if (m_Text.capacity() > (1 << 20)) std::string().swap(m_Text);
    m_Text.clear();
    m_LastTexture = SIZE_MAX;
    m_LineNumber = 0;
    stamp.clear();
    identity = {};
    throughLink = false;
    error = nullptr;
}

void FileRecord::AddLowered(Kind kind, std::string_view text, std::string_view suffix) {
    Add(kind, text, suffix, true);
}

void FileRecord::AddAsIs(Kind kind, std::string_view text, std::string_view suffix) {
    Add(kind, text, suffix, false);
}

void FileRecord::Add(Kind kind, std::string_view text, std::string_view suffix, bool lower) {
    const size_t offset = m_Text.size();
    const size_t length = text.size() + suffix.size();
    m_Text.append(text).append(suffix);
    char* added = m_Text.data() + offset;
    if (lower) {
        for (size_t i = 0; i < text.size(); ++i) added[i] = ToLowerAscii(added[i]);
    }
    const std::string_view view(added, length);
    // A file may name one texture on line after line (an empty skin value
    // stands for the item's name): such events share one text.
    if (kind == Kind::kTexture && m_LastTexture < m_Events.size() &&
        Text(m_Events[m_LastTexture]) == view) {
        m_Text.resize(offset);
        m_Events.push_back(m_Events[m_LastTexture]);
        m_Events.back().lineNumber = m_LineNumber;
        m_LastTexture = m_Events.size() - 1;
        return;
    }
    if (kind == Kind::kTexture) m_LastTexture = m_Events.size();
    std::uint64_t hash = kind == Kind::kSyntaxError ? 0 : NameTable::Hash(view);
    m_Events.push_back({kind, offset, length, hash, m_LineNumber});
}

namespace {

// The first characters of comments and keyword lines, in either case; any
// other line is a bitmap line or nothing.
struct KeywordStarts {
    bool table[256] = {};
    constexpr KeywordStarts() {
        for (unsigned char c : std::string_view("#/iwsdbnIWSDBN")) table[c] = true;
    }
    bool operator[](char c) const { return table[static_cast<unsigned char>(c)]; }
};
constexpr KeywordStarts kKeywordStart;

bool IsBmpEndingAt(const char* bytes, size_t p) {
    return p >= 3 && bytes[p - 3] == '.' && ToLowerAscii(bytes[p - 2]) == 'b' &&
           ToLowerAscii(bytes[p - 1]) == 'm';
}

}  // namespace

void ItemFileScanner::Scan(std::string_view bytes, FileRecord& record) {
    m_CurrentItemName.clear();
    const char* data = bytes.data();
    const size_t size = bytes.size();
    size_t lineStart = 0;
    size_t lineNumber = 1;
    size_t firstBmp = std::string_view::npos;  // in the line at hand

    // The line from lineStart to end (its line feed, or the end of the bytes).
    auto takeLine = [&](size_t end, bool lineFeed) {
        // A carriage return just before the line feed is not part of the line.
        if (lineFeed && end > lineStart && data[end - 1] == '\r') --end;
        size_t first = lineStart;
        while (first < end && IsSpace(data[first])) ++first;
        if (first < end) {
            // The line's first ".bmp" stands within the trimmed line: it is
            // never white space.
            size_t bmp = firstBmp == std::string_view::npos ? firstBmp : firstBmp - first;
            // Most lines (vertices, faces, "[end]") are neither comments nor
            // keyword lines and name no bitmap: they are done with here.
            if (kKeywordStart[data[first]] || (bmp != std::string_view::npos && bmp > 0)) {
                while (end > first && IsSpace(data[end - 1])) --end;
                record.BeginLine(lineNumber);
                ScanKeywordLine(std::string_view(data + first, end - first), bmp, record);
            }
        }
        firstBmp = std::string_view::npos;
        ++lineNumber;
    };
    // What stands at at: a line feed ends the line; a "p" may end its first
    // ".bmp".
    auto take = [&](size_t at) {
        if (data[at] == '\n') {
            takeLine(at, true);
            lineStart = at + 1;
        } else if (firstBmp == std::string_view::npos && IsBmpEndingAt(data, at)) {
            firstBmp = at - 3;
        }
    };

    // Each byte once: sixteen at a time, looking only at the line feeds and
    // at the bytes that are "p" or "P", which every ".bmp" ends in and few
    // lines hold.
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i p = _mm_set1_epi8('p');
    for (; i + 16 <= size; i += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        unsigned marks =
            unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lineFeed))) |
            unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(block, caseBit), p)));
        for (; marks != 0; marks &= marks - 1) take(i + size_t(__builtin_ctz(marks)));
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == '\n' || ToLowerAscii(data[i]) == 'p') take(i);
    }
    // A last line without a line feed counts too.
    if (lineStart < size) takeLine(size, false);

    // A working copy of a huge line is not kept for the next file.
    constexpr size_t kLargest = 1 << 16;
    for (std::string* scratch : {&m_Work, &m_Buffer}) {
        if (scratch->capacity() > kLargest) std::string().swap(*scratch);
    }
}

// Sorts a trimmed line by its kind, matching the keywords without regard to
// case (the first character picks the ones to try), and records what it
// holds.
// bmp is the position of the line's first ".bmp", or npos.
void ItemFileScanner::ScanKeywordLine(std::string_view kept, size_t bmp, FileRecord& record) {
    using Kind = FileRecord::Kind;
    switch (ToLowerAscii(kept[0])) {
        case '#':
            return;
        case '/':
            if (kept.size() > 1 && kept[1] == '/') return;
            break;
        case 'i':
            if (StartsWithNoCase(kept, keyword::kImperialFloat)) return;
            if (StartsWithNoCase(kept, keyword::kInclude)) {
                text::ToLowerInto(kept, m_Work);
                record.AddAsIs(Kind::kComponent, TakeComponentReference(m_Work, kept, m_Buffer));
                return;
            }
            break;
        case 'w':
            if (StartsWithNoCase(kept, keyword::kWheelbase)) return;
            if (StartsWithNoCase(kept, keyword::kWheel)) {
                text::ToLowerInto(kept, m_Work);
                record.AddAsIs(Kind::kComponent, TakeComponentReference(m_Work, kept, m_Buffer));
                return;
            }
            break;
        case 's':
            if (StartsWithNoCase(kept, keyword::kSkin)) {
                text::ToLowerInto(kept, m_Work);
                SkinReferenceParts skin = TakeSkinReference(m_Work, m_CurrentItemName, m_Buffer);
                if (skin.syntaxError) record.AddAsIs(Kind::kSyntaxError, m_Work);
                record.AddAsIs(Kind::kTexture, skin.part, skin.addBmp ? ".bmp" : "");
                return;
            }
            break;
        case 'd':
        case 'b':
            if (StartsWithNoCase(kept, keyword::kDoor) || StartsWithNoCase(kept, keyword::kBogie)) {
                text::ToLowerInto(kept, m_Work);
                record.AddAsIs(Kind::kComponent, TakeComponentReference(m_Work, kept, m_Buffer));
                return;
            }
            break;
        case 'n':
            if (IsNameLine(kept)) {
                std::string_view name = TakeItemName(kept);
                record.AddLowered(Kind::kName, name);
                text::ToLowerInto(name, m_CurrentItemName);
                return;
            }
            break;
        default:
            break;
    }
    if (bmp != std::string_view::npos && bmp > 0) {
        record.AddLowered(Kind::kTexture, TakeBitmapReference(kept, bmp));
    }
}

}  // namespace corvane
