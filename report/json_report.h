// The findings of a check run as JSON, for other tools: the library root, the
// five categories in report order with their duplicates, syntax errors,
// missing textures and missing components, and the older items. Paths are
// relative to the library root and "/"-separated.
#pragma once

#include <string>
#include <string_view>

#include "audit/findings.h"

namespace corvane {

// The JSON document, ending in a line feed.
std::string JsonReport(const Findings& findings);

// A library text as a JSON string holds it: as it is when it is valid UTF-8,
// otherwise each byte as the character of the same number (Latin-1), the
// rule the dialog shows names by.
std::string JsonText(std::string_view bytes);

}  // namespace corvane
