// Skin and bitmap reference taking on arbitrary lines. The first line of the
// input is the current item name, the second the line to take apart.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "audit/line_rules.h"
#include "fuzz/fuzz_check.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvane::text::Trim;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    corvane::text::LineReader reader(input);
    std::string_view itemLine;
    std::string_view line;
    if (!reader.Next(itemLine) || !reader.Next(line)) return 0;
    std::string itemName = corvane::text::ToLower(Trim(itemLine));
    std::string work = corvane::text::ToLower(Trim(line));

    // A skin line names at most its value (or the item's name) and ".bmp".
    std::string skinLine = "skin" + work.substr(std::min<size_t>(4, work.size()));
    std::string buffer;
    corvane::SkinReferenceParts skin = corvane::TakeSkinReference(skinLine, itemName, buffer);
    FUZZ_REQUIRE(skin.part.size() <= skinLine.size() + itemName.size() + 4);

    // A bitmap reference is a piece of the line that ends in ".bmp".
    size_t bmp = work.find(".bmp");
    if (bmp != std::string::npos && bmp > 0) {
        std::string_view bitmap = corvane::TakeBitmapReference(work, bmp);
        FUZZ_REQUIRE(bitmap.data() >= work.data() &&
                     bitmap.data() + bitmap.size() == work.data() + bmp + 4);
        FUZZ_REQUIRE(bitmap.size() >= 4 && bitmap.substr(bitmap.size() - 4) == ".bmp");
    }
    return 0;
}
