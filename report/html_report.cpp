#include "report/html_report.h"

#include <cstdint>

#include "audit/check_run.h"
#include "platform/codepage.h"

namespace corvane {

namespace {

constexpr std::string_view kPlainCell = "<td>";
constexpr std::string_view kShadedCell = "<td style=\"background-color: #ccccff\">";
constexpr size_t kFlushAt = 1 << 16;

}  // namespace

namespace {

// The bytes AppendEscaped replaces.
struct EscapedBytes {
    bool table[256] = {};
    constexpr EscapedBytes() {
        for (unsigned char c : std::string_view("&<>\"\n")) table[c] = true;
    }
};
constexpr EscapedBytes kEscaped;

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!kEscaped.table[static_cast<unsigned char>(text[i])]) continue;
        std::string_view replacement;
        switch (text[i]) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                replacement = "&quot;";
                break;
            case '\n':
                replacement = "\r\n";
                break;
            default:
                continue;
        }
        out.append(text.substr(start, i - start));
        out.append(replacement);
        start = i + 1;
    }
    out.append(text.substr(start));
}

HtmlReport::HtmlReport(std::unique_ptr<platform::OutputFile> file) : m_File(std::move(file)) {
    struct Entry {
        std::string_view label, font;
    };
    const Entry entries[kEntryKinds] = {{"Syntax", "<font color=\"red\">"},
                                        {"Missing Texture", "<font color=\"green\">"},
                                        {"Missing Component", "<font color=\"blue\">"}};
    for (int shaded = 0; shaded < 2; ++shaded) {
        const std::string cell(shaded ? kShadedCell : kPlainCell);
        for (int kind = 0; kind < kEntryKinds; ++kind) {
            m_EntryHead[kind][shaded] = "<tr>" + cell + std::string(entries[kind].label) + "</td>" +
                                        cell + std::string(entries[kind].font);
        }
        m_EntryMiddle[shaded] = "</font></td>" + cell;
    }
}

void HtmlReport::WriteOutWhenFull() {
    if (m_Buffer.size() >= kFlushAt) {
        m_File->Write(m_Buffer);
        m_Buffer.clear();
    }
}

void HtmlReport::Markup(std::string_view markup) {
    m_Buffer.append(markup);
    WriteOutWhenFull();
}

void HtmlReport::Text(std::string_view text) {
    AppendEscaped(m_Buffer, text);
    WriteOutWhenFull();
}

void HtmlReport::MakePathText(std::string_view path, std::string& out) {
    // Escaping touches ASCII only, so it can come before the conversion.
    m_Escaped.clear();
    AppendEscaped(m_Escaped, path);
    out.clear();
    platform::AppendInCodePage(out, m_Escaped, [](std::string& text, char32_t c) {
        text += "&#" + std::to_string(std::uint32_t(c)) + ";";
    });
}

void HtmlReport::Path(std::string_view path) {
    // The rows of one file name it one after another: it is made once.
    if (path != m_LastPath) {
        m_LastPath.assign(path);
        MakePathText(path, m_LastPathText);
    }
    m_Buffer.append(m_LastPathText);
    WriteOutWhenFull();
}

void HtmlReport::Close() {
    if (!m_File) return;
    std::unique_ptr<platform::OutputFile> file = std::move(m_File);
    file->Write(m_Buffer);
    m_Buffer.clear();
    file->Place();
}

void HtmlReport::BeginCheck(const std::string& libraryRoot) {
    MakePathText(libraryRoot, m_LibraryRootText);
    m_Shade = false;
    Markup("<h1>");
    Markup("Corvane");
    Markup("</h1>\r\n");
    Markup("<font face=\"arial narrow\">");
    Markup("<table>");
}

void HtmlReport::EndCheck(const std::vector<OlderItem>&) {
    Markup("</table>");
    Markup("<font color=\"red\">Red file is <b>older</b></font><br>");
    Markup("</font>");
    Close();
}

void HtmlReport::CheckFailed(const std::string& reason) {
    // Leave what was written so far readable, and say that it is not the
    // whole library; the error that ended the run is the one to report.
    try {
        if (!m_File) return;
        Markup("</table>");
        Markup("<font color=\"red\"><b>The check did not finish:</b> ");
        Text(reason);
        Markup("</font><br>");
        Markup("</font>");
        Close();
    } catch (const platform::FileError&) {
    }
}

void HtmlReport::BeginCategory(std::string_view title) {
    Markup("<tr><td colspan=\"3\">");
    Markup("<h2>");
    Markup(title);
    Markup("</h2>\r\n");
    Markup("</td></tr>");
}

bool HtmlReport::NextRowShaded() {
    const bool shaded = m_Shade;
    m_Shade = !m_Shade;
    return shaded;
}

std::string_view HtmlReport::BeginRow() {
    std::string_view opener = NextRowShaded() ? kShadedCell : kPlainCell;
    Markup("<tr>");
    Markup(opener);
    return opener;
}

void HtmlReport::Duplicate(const DuplicateFinding& finding) {
    std::string_view cell = BeginRow();
    Text(finding.name);
    Markup("</td>");
    Markup(cell);
    if (finding.fileIsOlder) Markup("<font color=\"red\">");
    Path(finding.file);
    if (finding.fileIsOlder) Markup("</font>");
    Markup("</td>");
    Markup(cell);
    if (!finding.fileIsOlder) Markup("<font color=\"red\">");
    Path(finding.earlierFile);
    if (!finding.fileIsOlder) Markup("</font>");
    Markup("</td></tr>");
}

void HtmlReport::WriteEntryRow(EntryKind kind, std::string_view text, const std::string* paths,
                               size_t count, bool underRoot) {
    const int shaded = NextRowShaded() ? 1 : 0;
    m_Buffer.append(m_EntryHead[kind][shaded]);
    AppendEscaped(m_Buffer, text);
    m_Buffer.append(m_EntryMiddle[shaded]);
    for (size_t i = 0; i < count; ++i) {
        if (underRoot) m_Buffer.append(m_LibraryRootText);
        Path(paths[i]);
    }
    Markup("</td></tr>");
}

void HtmlReport::SyntaxError(const SyntaxFinding& finding) {
    // A syntax row names its file with the library root in front.
    WriteEntryRow(kSyntaxRow, finding.line, &finding.file, 1, true);
}

void HtmlReport::MissingTexture(const TextureFinding& finding) {
    WriteEntryRow(kTextureRow, finding.texture, &finding.file, 1);
}

void HtmlReport::MissingComponent(const ComponentFinding& finding) {
    WriteEntryRow(kComponentRow, finding.component, finding.files.data(), finding.files.size());
}

}  // namespace corvane
