#include "audit/line_rules.h"

#include <algorithm>
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

// Keeps the text before the first comment ("//" or "#") that stands at index
// 1 or later: what cutting before "//" and then before "#" leaves.
std::string_view CutBeforeComment(std::string_view text) {
    if (text.size() < 2) return text;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* hash = static_cast<const char*>(std::memchr(begin + 1, '#', text.size() - 1));
    const char* limit = hash ? hash : end;
    for (const char* at = begin + 1; at < limit; ++at) {
        at = static_cast<const char*>(std::memchr(at, '/', size_t(limit - at)));
        if (!at) break;
        if (at + 1 < end && at[1] == '/') return text.substr(0, size_t(at - begin));
    }
    return text.substr(0, size_t(limit - begin));
}

// Drops everything up to and including the first "/" when it is not the first
// character.
std::string_view AfterFirstSlash(std::string_view text) {
    size_t slash = text.find('/');
    return (slash != std::string_view::npos && slash > 0) ? text.substr(slash + 1) : text;
}

}  // namespace

bool IsNameLine(std::string_view trimmed) {
    return StartsWithNoCase(trimmed, keyword::kName);
}

bool IsEndLine(std::string_view trimmed) {
    return StartsWithNoCase(trimmed, keyword::kEnd);
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

constexpr std::string_view kTags[] = {"[d3d]", "[left]", "[right]", "[front]", "[back]"};

// The tags "[d3d]", "[left]", "[right]", "[front]" and "[back]" taken out of
// text, one tag after the other as they are listed, then every "=". Gives text
// itself when there is nothing to take out, else the rest, made in buffer.
std::string_view EraseTagsAndEquals(std::string_view text, std::string& buffer) {
    if (text.empty()) return text;
    // Whether there are no, one or more "[", and where the first stands.
    size_t brackets = 0;
    size_t firstBracket = 0;
    if (const void* at = std::memchr(text.data(), '[', text.size())) {
        firstBracket = size_t(static_cast<const char*>(at) - text.data());
        brackets = std::memchr(text.data() + firstBracket + 1, '[',
                               text.size() - firstBracket - 1) != nullptr
                       ? 2
                       : 1;
    }
    const bool equals = std::memchr(text.data(), '=', text.size()) != nullptr;
    if (brackets > 1) {
        // Taking one tag out may make another: the passes go in order.
        buffer.assign(text);
        for (std::string_view tag : kTags) text::EraseAll(buffer, tag);
        std::erase(buffer, '=');
        return buffer;
    }
    // One tag at the most, at the one "[": which of them is there is all the
    // passes would find. No tag holds "=", so the tag and the "="s go in one
    // copy.
    size_t tagEnd = firstBracket;
    if (brackets == 1) {
        for (std::string_view tag : kTags) {
            if (text.substr(firstBracket, tag.size()) == tag) {
                tagEnd = firstBracket + tag.size();
                break;
            }
        }
    }
    if (tagEnd == firstBracket && !equals) return text;
    buffer.resize(text.size());
    char* out = buffer.data();
    auto copy = [&](std::string_view part) {
        for (char c : part) {
            *out = c;
            out += c != '=';
        }
    };
    copy(text.substr(0, firstBracket));
    copy(text.substr(tagEnd));
    buffer.resize(size_t(out - buffer.data()));
    return buffer;
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
    name = CutBeforeComment(name);
    return Trim(name);
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

std::string_view TakeComponentReference(std::string_view work, std::string_view kept,
                                        std::string& buffer) {
    std::string_view line = work;
    for (std::string_view component : keyword::kComponents) {
        if (StartsWith(line, component)) line.remove_prefix(component.size());
    }
    line = Trim(line);
    for (int i = 0; i < 3; ++i) SkipField(line);
    if (StartsWithNoCase(kept, keyword::kWheel)) {
        SkipField(line);
        SkipField(line);
    }

    // The line is lower-case already, as the tags are.
    std::string_view reference = Trim(EraseTagsAndEquals(line, buffer));
    reference = Trim(CutBeforeComment(reference));
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
