#include "platform/wide.h"

namespace corvane::platform {

char32_t NextCodePoint(std::string_view text, size_t& at) {
    const unsigned char first = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (first < 0x80) {
        ++at;
        return first;
    } else if ((first & 0xE0) == 0xC0) {
        length = 2, code = first & 0x1F, least = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, code = first & 0x0F, least = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4, code = first & 0x07, least = 0x10000;
    }
    if (length == 0 || at + length > text.size()) {
        ++at;
        return first;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return first;
        }
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms and values past Unicode are no sequence.
    if (code < least || code > 0x10FFFF) {
        ++at;
        return first;
    }
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
