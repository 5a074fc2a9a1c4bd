#include "report/diagnostics.h"

#include "report/json_report.h"
#include "text/text.h"

namespace corvane {

namespace {

// A text or path taken from the library.
void AppendText(std::string& out, std::string_view text) {
    out += text::Printable(text::Utf8OrLatin1(text));
}

// "<path>:<line>: ", the head of every line.
void AppendLocation(std::string& out, std::string_view path, size_t lineNumber) {
    AppendText(out, path);
    out += ':' + std::to_string(lineNumber) + ": ";
}

}  // namespace

std::string DiagnosticsReport(const Findings& findings) {
    std::string out;
    for (const CategoryFindings& category : findings.categories) {
        for (const DuplicateFinding& d : category.duplicates) {
            // At the newer copy, naming the older.
            if (d.fileIsOlder) {
                AppendLocation(out, d.earlierFile, d.earlierLineNumber);
            } else {
                AppendLocation(out, d.file, d.lineNumber);
            }
            out += "warning: duplicate item \"";
            AppendText(out, d.name);
            out += "\"; the older copy is ";
            AppendText(out, d.Older());
            out += ':' + std::to_string(d.OlderLineNumber()) + '\n';
        }
        for (const SyntaxFinding& s : category.syntaxErrors) {
            AppendLocation(out, s.file, s.lineNumber);
            out += "error: syntax error: ";
            AppendText(out, s.line);
            out += '\n';
        }
        for (const TextureFinding& t : category.missingTextures) {
            AppendLocation(out, t.file, t.lineNumber);
            out += "warning: missing texture ";
            AppendText(out, t.texture);
            out += '\n';
        }
        for (const ComponentFinding& c : category.missingComponents) {
            for (size_t i = 0; i < c.files.size(); ++i) {
                AppendLocation(out, c.files[i], i < c.lineNumbers.size() ? c.lineNumbers[i] : 0);
                out += "warning: missing component ";
                AppendText(out, c.component);
                out += '\n';
            }
        }
    }
    return out;
}

}  // namespace corvane
