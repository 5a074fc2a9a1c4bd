#include <unordered_set>

#include "audit/line_rules.h"
#include "cleanup/delete_older.h"
#include "text/text.h"

namespace corvane {

namespace {

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

}  // namespace

ItemRemoval CopyWithoutItems(std::string_view bytes, const std::vector<std::string>& names) {
    std::unordered_set<std::string> wanted;
    for (const std::string& name : names) wanted.insert(text::ToLower(name));
    std::string taken;
    ItemRemoval result;
    result.copy.reserve(bytes.size() + bytes.size() / 16);
    text::LineReader reader(bytes);
    std::string_view line;
    bool haveLine = reader.Next(line);
    while (haveLine) {
        std::string_view trimmed = text::Trim(line);
        if (!IsNameLine(trimmed)) {
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The name as the check takes it, so that a name line with a comment
        // matches the name that was queued.
        text::ToLowerInto(TakeItemName(trimmed), taken);
        if (!wanted.count(taken)) {
            result.otherItem = true;
            AppendLine(result.copy, line);
            haveLine = reader.Next(line);
            continue;
        }
        // The item runs to its "[end]" line, or stops before the next name
        // line when its "[end]" is missing.
        AppendLine(result.copy, "");
        while ((haveLine = reader.Next(line))) {
            std::string_view inside = text::Trim(line);
            if (IsNameLine(inside)) break;
            if (IsEndLine(inside)) {
                haveLine = reader.Next(line);
                break;
            }
        }
    }
    return result;
}

}  // namespace corvane
