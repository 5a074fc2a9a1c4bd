// The findings of a check run as JSON, for other tools: the library root, the
// five categories in report order with their duplicates, syntax errors,
// missing textures and missing components, and the older items. Paths are
// relative to the library root and "/"-separated.
#pragma once

#include <string>

#include "audit/findings.h"

namespace corvane {

// The JSON document, ending in a line feed.
std::string JsonReport(const Findings& findings);

}  // namespace corvane
