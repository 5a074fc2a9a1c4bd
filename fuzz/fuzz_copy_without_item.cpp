// The copy of one library file without the items of one name. The first line
// of the input is the name to remove, the rest the file. The copy must hold
// exactly the file's lines with each item of the name (from its name line to
// its "[end]" line, or to just before the next name line) replaced by one
// empty line, every line followed by CR LF: no byte that was not in the
// file, nothing of the item, nothing else lost.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "audit/line_rules.h"
#include "cleanup/delete_older.h"
#include "fuzz/fuzz_check.h"
#include "text/text.h"

namespace {

// The file's lines, each without its LF and without one CR before that LF.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t lf = bytes.find('\n', start);
        size_t end = lf == std::string_view::npos ? bytes.size() : lf;
        std::string_view line = bytes.substr(start, end - start);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvane::text::EqualsNoCase;
    using corvane::text::StartsWithNoCase;
    using corvane::text::Trim;

    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t firstEnd = input.find('\n');
    if (firstEnd == std::string_view::npos) return 0;
    // The check hands over names trimmed and lower-cased.
    std::string name = corvane::text::ToLower(Trim(input.substr(0, firstEnd)));
    std::string_view file = input.substr(firstEnd + 1);

    corvane::ItemRemoval removal = corvane::CopyWithoutItems(file, {std::string(name)});

    std::string expected;
    bool otherItem = false;
    bool inItem = false;
    for (std::string_view line : SplitLines(file)) {
        std::string_view trimmed = Trim(line);
        bool nameLine = StartsWithNoCase(trimmed, "name");
        if (inItem && !nameLine) {
            if (StartsWithNoCase(trimmed, "[end]")) inItem = false;
            continue;
        }
        inItem = false;
        if (nameLine && EqualsNoCase(corvane::TakeItemName(trimmed), name)) {
            inItem = true;
            expected += "\r\n";
            continue;
        }
        if (nameLine) otherItem = true;
        expected.append(line).append("\r\n");
    }
    FUZZ_REQUIRE(removal.copy == expected);
    FUZZ_REQUIRE(removal.otherItem == otherItem);

    // No byte that the file does not hold, apart from the line ends.
    bool seen[256] = {};
    for (char c : file) seen[static_cast<unsigned char>(c)] = true;
    for (char c : removal.copy) {
        FUZZ_REQUIRE(c == '\r' || c == '\n' || seen[static_cast<unsigned char>(c)]);
    }
    return 0;
}
