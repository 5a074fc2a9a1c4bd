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

bool NameOrderLess(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(ToUpperAscii(a[i]));
        unsigned char cb = static_cast<unsigned char>(ToUpperAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
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
