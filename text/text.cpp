#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace corvane::text {

void ToLowerInto(std::string_view text, std::string& out) {
    out.resize(text.size());
    // Through a plain pointer, so that the loop need not reload the string's
    // data for every byte and can be vectorised.
    char* lower = out.data();
    for (size_t i = 0; i < text.size(); ++i) lower[i] = ToLowerAscii(text[i]);
}

std::string ToLower(std::string_view text) {
    std::string out;
    ToLowerInto(text, out);
    return out;
}

int CompareFolded(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(ToUpperAscii(a[i]));
        unsigned char cb = static_cast<unsigned char>(ToUpperAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool NameOrderLess(std::string_view a, std::string_view b) {
    const int folded = CompareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

size_t Utf8SequenceLength(std::string_view text, size_t at, bool surrogates) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED && !surrogates) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[at + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

bool IsUtf8(std::string_view text) {
    for (size_t at = 0, length; at < text.size(); at += length) {
        if ((length = Utf8SequenceLength(text, at)) == 0) return false;
    }
    return true;
}

std::string Utf8OrLatin1(std::string_view bytes) {
    if (IsUtf8(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            text += byte;
        } else {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

void EraseAll(std::string& text, std::string_view what) {
    if (what.empty()) return;
    size_t found = text.find(what);
    if (found == std::string::npos) return;
    size_t out = found;
    while (found != std::string::npos) {
        size_t from = found + what.size();
        found = text.find(what, from);
        size_t to = found == std::string::npos ? text.size() : found;
        std::copy(text.begin() + std::ptrdiff_t(from), text.begin() + std::ptrdiff_t(to),
                  text.begin() + std::ptrdiff_t(out));
        out += to - from;
    }
    text.resize(out);
}

std::string Printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return shown;
}

}  // namespace corvane::text
