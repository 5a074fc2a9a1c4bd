#include "platform/wide.h"

#include "text/text.h"

namespace corvane::platform {

char32_t NextCodePoint(std::string_view text, size_t& at) {
    const unsigned char first = static_cast<unsigned char>(text[at]);
    // A lone surrogate counts: Windows allows one in a name.
    const size_t length = text::Utf8SequenceLength(text, at, true);
    if (length <= 1) {
        ++at;
        return first;
    }
    char32_t code = first & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) code = (code << 6) | (text[at + i] & 0x3F);
    at += length;
    return code;
}

std::u16string Utf16FromUtf8(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            wide += char16_t(0xD800 + (c >> 10));
            wide += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            wide += char16_t(c);
        }
    });
    return wide;
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace corvane::platform
