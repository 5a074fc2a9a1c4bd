#include "tests/support/reference_scan.h"

#include "audit/line_rules.h"

namespace corvane::testing {

LineKind ClassifyLine(std::string_view work) {
    auto is = [&](std::string_view keyword) { return work.starts_with(keyword); };
    if (is("#") || is("//")) return LineKind::kComment;
    if (is(keyword::kImperialFloat)) return LineKind::kImperialFloat;
    if (is(keyword::kWheelbase)) return LineKind::kWheelbase;
    if (is(keyword::kSkin)) return LineKind::kSkin;
    for (std::string_view component : keyword::kComponents) {
        if (is(component)) return LineKind::kComponent;
    }
    if (is(keyword::kName)) return LineKind::kName;
    const size_t bmp = work.find(".bmp");
    return bmp != std::string_view::npos && bmp > 0 ? LineKind::kBitmap : LineKind::kOther;
}

SkinReference TakeSkinReference(std::string_view work, std::string_view currentItemName) {
    std::string buffer;
    SkinReferenceParts parts = corvane::TakeSkinReference(work, currentItemName, buffer);
    return {std::string(parts.part) + (parts.addBmp ? ".bmp" : ""), parts.syntaxError};
}

std::string TakeBitmapReference(std::string_view work) {
    const size_t bmp = work.find(".bmp");
    if (bmp == std::string_view::npos || bmp == 0) return {};
    return std::string(corvane::TakeBitmapReference(work, bmp));
}

std::string TakeComponentReference(std::string_view work, std::string_view kept) {
    std::string buffer;
    return std::string(corvane::TakeComponentReference(work, kept, buffer));
}

}  // namespace corvane::testing
