// The findings of a check run as the lines that editors and CI systems read
// as clickable locations, one per report row in report order (a missing
// component: one per file that refers to it):
//
//   <path>:<line>: <severity>: <message>
//
// The path is relative to the library root, with the system's separator.
// Syntax errors are errors, every other row a warning. A duplicate stands at
// its newer copy and names the older one.
#pragma once

#include <string>

#include "audit/findings.h"

namespace corvane {

// The lines, each ending in a line feed. Texts and paths are written as the
// JSON writes them (text::Utf8OrLatin1), a control character in one as '?', so that
// every row stays one line.
std::string DiagnosticsReport(const Findings& findings);

}  // namespace corvane
