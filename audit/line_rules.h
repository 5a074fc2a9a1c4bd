// How one line of a library file is read: its kind, and the item name,
// texture or component reference it names. The functions take the working
// line, which is the line trimmed and lower-cased.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The keywords that begin the lines a check and a delete read, matched as
// prefixes of the trimmed line without regard to case.
namespace keyword {
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kEnd = "[end]";
inline constexpr std::string_view kSkin = "skin";
inline constexpr std::string_view kImperialFloat = "imperialfloat";
inline constexpr std::string_view kWheelbase = "wheelbase";  // before "wheel"
// The lines that refer to a component.
inline constexpr std::string_view kInclude = "include";
inline constexpr std::string_view kWheel = "wheel";
inline constexpr std::string_view kDoor = "door";
inline constexpr std::string_view kBogie = "bogie";
inline constexpr std::string_view kComponents[] = {kInclude, kWheel, kDoor, kBogie};
}  // namespace keyword

// Whether a trimmed line (in any case) begins an item, or ends one.
bool IsNameLine(std::string_view trimmed);
bool IsEndLine(std::string_view trimmed);

// Removes the leading field of text (up to and including its first separator:
// "/", ":" or a byte of code 32 or less) and the white space around what is
// left. Returns the removed field, trimmed.
std::string_view SkipToken(std::string_view& text);

// The item name of a name line: the text after "name", cut before a "//" or
// "#" that is not its first character, trimmed.
std::string_view TakeItemName(std::string_view work);

// The texture a skin line names, without a copy: part followed by ".bmp" when
// addBmp is set; part views work, or buffer when it had to be made there. A
// value that opens a quote and never closes it, or an empty quoted value, is
// a syntax error; the texture is still taken.
struct SkinReferenceParts {
    std::string_view part;
    bool addBmp = false;
    bool syntaxError = false;
};
SkinReferenceParts TakeSkinReference(std::string_view work, std::string_view currentItemName,
                                     std::string& buffer);

// The texture a bitmap line names, whose first ".bmp" (at 1 or later) stands
// at bmp: the text before it, from the last quote before it (or from the
// second character), ".bmp" included. Only quotes and "/" matter here, so the
// line may be in any case.
std::string_view TakeBitmapReference(std::string_view line, size_t bmp);

// The item a component line refers to. kept is the line trimmed with its case
// kept; work is the same lower-cased. The reference views work, or buffer
// when it had to be made there.
std::string_view TakeComponentReference(std::string_view work, std::string_view kept,
                                        std::string& buffer);

}  // namespace corvane
