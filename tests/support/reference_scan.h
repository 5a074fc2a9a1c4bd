// The line grammar of library files written plainly, line by line, as the
// model the product's scanner (ItemFileScanner) is tested against: each
// line's kind, and the texture or component it names, taken by copies.
#pragma once

#include <string>
#include <string_view>

namespace corvane::testing {

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

// The kind of a working line (trimmed and lower-cased): its keywords tried in
// order as prefixes, else a bitmap line when a ".bmp" stands at 1 or later.
LineKind ClassifyLine(std::string_view work);

struct SkinReference {
    std::string texture;
    bool syntaxError = false;
};
SkinReference TakeSkinReference(std::string_view work, std::string_view currentItemName);
// Empty when the line names no bitmap.
std::string TakeBitmapReference(std::string_view work);
std::string TakeComponentReference(std::string_view work, std::string_view kept);

}  // namespace corvane::testing
