// Names as the file system holds them (UTF-16 code units on Windows) and as
// we hold them (8-bit strings). The 8-bit form is UTF-8, extended so that a
// lone surrogate, which Windows allows in a file name, survives the round
// trip: it is written as the three bytes UTF-8 would give its code point.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);

// Calls each(c) for every code point of text. A byte that does not start a
// well-formed sequence is handed over as itself (0x80 to 0xFF) and taken
// alone, so that nothing is lost.
template <typename Each>
void ForEachCodePoint(std::string_view text, Each each);

// Decodes the code point at text[at], moving at past it. Bytes that do not
// form a sequence give the first byte's value and move by one.
char32_t NextCodePoint(std::string_view text, size_t& at);

template <typename Each>
void ForEachCodePoint(std::string_view text, Each each) {
    for (size_t at = 0; at < text.size();) each(NextCodePoint(text, at));
}

}  // namespace corvane::platform
