#include "audit/line_rules.h"

#include <cstdint>
#include <cstring>

#include "text/text.h"

namespace corvane {

using namespace std::string_view_literals;
using text::StartsWithNoCase;
using text::Trim;

namespace {

// The keywords are short and most lines differ at the first character: a
// plain loop beats a call to memcmp here.
bool StartsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

bool IsFieldSeparator(char c) {
    return c == '/' || c == ':' || static_cast<unsigned char>(c) <= 32;
}

// Keeps the text before marker when marker stands at index 1 or later. The
// texts are short: a plain loop beats a library search here.
std::string_view CutBefore(std::string_view text, std::string_view marker) {
    for (size_t at = 1; at + marker.size() <= text.size(); ++at) {
        if (text[at] == marker[0] && text.substr(at, marker.size()) == marker) {
            return text.substr(0, at);
        }
    }
    return text;
}

// Drops everything up to and including the first "/" when it is not the first
// character.
std::string_view AfterFirstSlash(std::string_view text) {
    size_t slash = text.find('/');
    return (slash != std::string_view::npos && slash > 0) ? text.substr(slash + 1) : text;
}

}  // namespace

bool CanBeKeywordLine(char first) {
    // Comments and keywords all begin with one of these characters; most
    // lines (vertices, faces, "[end]") begin with none of them.
    switch (text::ToLowerAscii(first)) {
        case '#':
        case '/':
        case 'i':
        case 'w':
        case 's':
        case 'd':
        case 'b':
        case 'n':
            return true;
        default:
            return false;
    }
}

size_t FindBmp(std::string_view text) {
    // Every ".bmp" ends in a "p" or "P", and most lines hold neither: look for
    // those eight bytes at a time, and only then at the three before them.
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    auto isBmpEndingAt = [&](size_t p) {
        return p >= 3 && text[p - 3] == '.' && text::ToLowerAscii(text[p - 2]) == 'b' &&
               text::ToLowerAscii(text[p - 1]) == 'm';
    };
    size_t i = 3;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        // A zero byte where a byte, with bit 5 set, was "p".
        std::uint64_t v = (word | (0x20 * kOnes)) ^ ('p' * kOnes);
        if (((v - kOnes) & ~v & kHighs) == 0) continue;
        for (size_t p = i; p < i + 8; ++p) {
            if (text::ToLowerAscii(text[p]) == 'p' && isBmpEndingAt(p)) return p - 3;
        }
    }
    for (; i < text.size(); ++i) {
        if (text::ToLowerAscii(text[i]) == 'p' && isBmpEndingAt(i)) return i - 3;
    }
    return std::string_view::npos;
}

LineKind ClassifyLine(std::string_view work) {
    if (work.empty() || !CanBeKeywordLine(work[0])) {
        size_t bmp = FindBmp(work);
        return bmp != std::string_view::npos && bmp > 0 ? LineKind::kBitmap : LineKind::kOther;
    }
    if (StartsWith(work, "#") || StartsWith(work, "//")) return LineKind::kComment;
    if (StartsWith(work, "imperialfloat")) return LineKind::kImperialFloat;
    if (StartsWith(work, "wheelbase")) return LineKind::kWheelbase;
    if (StartsWith(work, "skin")) return LineKind::kSkin;
    if (StartsWith(work, "include") || StartsWith(work, "wheel") || StartsWith(work, "door") ||
        StartsWith(work, "bogie")) {
        return LineKind::kComponent;
    }
    if (StartsWith(work, "name")) return LineKind::kName;
    size_t bmp = FindBmp(work);
    if (bmp != std::string_view::npos && bmp > 0) return LineKind::kBitmap;
    return LineKind::kOther;
}

namespace {

// SkipToken without making the field it removes; text is trimmed already
// at its end.
void SkipField(std::string_view& text) {
    size_t end = 0;
    while (end < text.size()) {
        if (IsFieldSeparator(text[end++])) break;
    }
    while (end < text.size() && text::IsSpace(text[end])) ++end;
    text.remove_prefix(end);
}

bool HoldsTagOrEquals(std::string_view text) {
    for (char c : text) {
        if (c == '[' || c == '=') return true;
    }
    return false;
}

}  // namespace

std::string_view SkipToken(std::string_view& text) {
    size_t end = 0;
    while (end < text.size()) {
        char c = text[end++];
        if (IsFieldSeparator(c)) break;
    }
    std::string_view field = Trim(text.substr(0, end));
    text = Trim(text.substr(end));
    return field;
}

std::string_view TakeItemName(std::string_view work) {
    std::string_view name = work.substr(std::min<size_t>(4, work.size()));
    name = CutBefore(name, "//");
    name = CutBefore(name, "#");
    return Trim(name);
}

SkinReference TakeSkinReference(std::string_view work, std::string_view currentItemName) {
    std::string buffer;
    SkinReferenceParts parts = TakeSkinReference(work, currentItemName, buffer);
    SkinReference result;
    result.texture.assign(parts.part);
    if (parts.addBmp) result.texture += ".bmp";
    result.syntaxError = parts.syntaxError;
    return result;
}

SkinReferenceParts TakeSkinReference(std::string_view work, std::string_view currentItemName,
                                     std::string& buffer) {
    SkinReferenceParts result;
    std::string_view value = Trim(work.substr(std::min<size_t>(4, work.size())));
    if (value.empty()) {
        buffer.assign(currentItemName).append(".bmp");
        value = buffer;
    }
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
        size_t close = value.find('"');
        if (close != std::string_view::npos && close > 0) {
            value = value.substr(0, close);
        } else {
            result.syntaxError = true;
        }
    }
    // ".bmp" holds no "/", so the cut after the first "/" can come first.
    result.addBmp = value.find('.') == std::string_view::npos;
    result.part = AfterFirstSlash(value);
    return result;
}

std::string_view TakeBitmapReference(std::string_view work) {
    size_t bmp = FindBmp(work);
    if (bmp == std::string_view::npos || bmp == 0) return {};
    return TakeBitmapReference(work, bmp);
}

std::string_view TakeBitmapReference(std::string_view line, size_t bmp) {
    std::string_view reference = line.substr(0, bmp + 4);
    size_t quote = 0;
    for (size_t i = bmp - 1; i >= 1; --i) {
        if (line[i] == '"') {
            quote = i;
            break;
        }
    }
    reference = reference.substr(quote + 1);
    return AfterFirstSlash(reference);
}

std::string TakeComponentReference(std::string_view work, std::string_view kept) {
    std::string buffer;
    return std::string(TakeComponentReference(work, kept, buffer));
}

std::string_view TakeComponentReference(std::string_view work, std::string_view kept,
                                        std::string& buffer) {
    std::string_view line = work;
    for (std::string_view keyword : {"include"sv, "wheel"sv, "door"sv, "bogie"sv}) {
        if (StartsWith(line, keyword)) line.remove_prefix(keyword.size());
    }
    line = Trim(line);
    for (int i = 0; i < 3; ++i) SkipField(line);
    if (StartsWithNoCase(kept, "wheel")) {
        SkipField(line);
        SkipField(line);
    }

    // The line is lower-case already; the tags and "=" are taken out of a
    // copy only when the line can hold one.
    std::string_view reference = line;
    if (HoldsTagOrEquals(line)) {
        buffer.assign(line);
        for (std::string_view tag :
             {"[d3d]"sv, "[left]"sv, "[right]"sv, "[front]"sv, "[back]"sv, "="sv}) {
            text::EraseAll(buffer, tag);
        }
        reference = buffer;
    }
    reference = Trim(reference);
    reference = Trim(CutBefore(CutBefore(reference, "//"), "#"));
    if (StartsWith(reference, "[")) {
        size_t close = reference.find(']');
        if (close != std::string_view::npos) reference = Trim(reference.substr(close + 1));
    }
    if (StartsWith(reference, "<") || StartsWith(reference, ">")) SkipToken(reference);
    if (StartsWith(reference, "!")) reference.remove_prefix(1);
    if (StartsWith(reference, "?")) reference.remove_prefix(1);
    return reference;
}

}  // namespace corvane
