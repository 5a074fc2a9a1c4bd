// Component reference taking on arbitrary lines: SkipToken and
// TakeComponentReference must stay inside their text and return trimmed
// pieces of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "audit/line_rules.h"
#include "fuzz/fuzz_check.h"
#include "text/text.h"

namespace {

bool IsTrimmed(std::string_view text) {
    return corvane::text::Trim(text) == text;
}

bool Within(std::string_view part, std::string_view whole) {
    if (part.empty()) return true;
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The scan hands these functions one line, trimmed; the working line is the
    // same lower-cased.
    std::string_view line(reinterpret_cast<const char*>(data), size);
    corvane::text::LineReader reader(line);
    std::string_view first;
    if (!reader.Next(first)) return 0;
    std::string_view kept = corvane::text::Trim(first);
    std::string work = corvane::text::ToLower(kept);

    // SkipToken: repeated until the text is used up, every field and every
    // rest is a trimmed piece of the text, and the text only ever shrinks.
    std::string_view text = work;
    size_t steps = 0;
    while (!text.empty()) {
        std::string_view before = text;
        std::string_view field = corvane::SkipToken(text);
        FUZZ_REQUIRE(Within(field, before) && Within(text, before));
        FUZZ_REQUIRE(IsTrimmed(field) && IsTrimmed(text));
        FUZZ_REQUIRE(text.size() < before.size());
        FUZZ_REQUIRE(++steps <= work.size());
    }
    std::string_view empty;
    FUZZ_REQUIRE(corvane::SkipToken(empty).empty() && empty.empty());

    std::string buffer;
    std::string reference(corvane::TakeComponentReference(work, kept, buffer));
    // Only a dropped "!" or "?" may leave white space in front.
    FUZZ_REQUIRE(reference.empty() || !corvane::text::IsSpace(reference.back()));
    FUZZ_REQUIRE(reference.size() <= work.size());
    FUZZ_REQUIRE(corvane::text::ToLower(reference) == reference);
    return 0;
}
