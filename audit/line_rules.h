// How one line of a library file is read: its kind, and the item name,
// texture or component reference it names. The functions take the working
// line, which is the line trimmed and lower-cased.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

enum class LineKind {
    kComment,
    kImperialFloat,
    kWheelbase,
    kSkin,
    kComponent,
    kName,
    kBitmap,
    kOther
};

LineKind ClassifyLine(std::string_view work);

// Whether a line whose first character is first (in any case) can be a
// comment or a keyword line; any other line is a bitmap line or nothing.
bool CanBeKeywordLine(char first);

// The position of the first ".bmp" in text, without regard to ASCII case, or
// npos.
size_t FindBmp(std::string_view text);

// Removes the leading field of text (up to and including its first separator:
// "/", ":" or a byte of code 32 or less) and the white space around what is
// left. Returns the removed field, trimmed.
std::string_view SkipToken(std::string_view& text);

// The item name of a name line: the text after "name", cut before a "//" or
// "#" that is not its first character, trimmed.
std::string_view TakeItemName(std::string_view work);

// The texture a skin line names. A value that opens a quote and never closes
// it, or an empty quoted value, is a syntax error; the texture is still taken.
struct SkinReference {
    std::string texture;
    bool syntaxError = false;
};
SkinReference TakeSkinReference(std::string_view work, std::string_view currentItemName);
// The same without a copy: the texture is part followed by ".bmp" when
// addBmp is set. part views work, or buffer when it had to be made there.
struct SkinReferenceParts {
    std::string_view part;
    bool addBmp = false;
    bool syntaxError = false;
};
SkinReferenceParts TakeSkinReference(std::string_view work, std::string_view currentItemName,
                                     std::string& buffer);

// The texture a bitmap line names: the text before its first ".bmp", from
// the last quote before it (or from the second character), ".bmp" included.
// Empty when the line is no bitmap line.
std::string_view TakeBitmapReference(std::string_view work);
// The same for a line whose first ".bmp" (at 1 or later) stands at bmp. Only
// quotes and "/" matter here, so the line may be in any case.
std::string_view TakeBitmapReference(std::string_view line, size_t bmp);

// The item a component line refers to. kept is the line trimmed with its case
// kept; work is the same lower-cased.
std::string TakeComponentReference(std::string_view work, std::string_view kept);
// The same, viewing work, or buffer when the reference had to be made there.
std::string_view TakeComponentReference(std::string_view work, std::string_view kept,
                                        std::string& buffer);

}  // namespace corvane
