#include "audit/report.h"

#include <cstdint>
#include <string>

#include "platform/codepage.h"

namespace corvane {

namespace {

constexpr std::string_view kPlainCell = "<td>";
constexpr std::string_view kShadedCell = "<td style=\"background-color: #ccccff\">";
constexpr size_t kFlushAt = 1 << 16;

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
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

Report::Report(std::unique_ptr<platform::OutputFile> file) : m_File(std::move(file)) {}

void Report::Markup(std::string_view markup) {
    for (char c : markup) {
        if (c == '\n') m_Buffer += '\r';
        m_Buffer += c;
    }
    if (m_Buffer.size() >= kFlushAt) {
        m_File->Write(m_Buffer);
        m_Buffer.clear();
    }
}

void Report::Text(std::string_view text) {
    AppendEscaped(m_Buffer, text);
    if (m_Buffer.size() >= kFlushAt) {
        m_File->Write(m_Buffer);
        m_Buffer.clear();
    }
}

void Report::Path(std::string_view path) {
    // Escaping touches ASCII only, so it can come before the conversion.
    m_Escaped.clear();
    AppendEscaped(m_Escaped, path);
    platform::AppendInCodePage(m_Buffer, m_Escaped, [](std::string& out, char32_t c) {
        out += "&#" + std::to_string(std::uint32_t(c)) + ";";
    });
    if (m_Buffer.size() >= kFlushAt) {
        m_File->Write(m_Buffer);
        m_Buffer.clear();
    }
}

void Report::Close() {
    if (!m_File) return;
    std::unique_ptr<platform::OutputFile> file = std::move(m_File);
    file->Write(m_Buffer);
    m_Buffer.clear();
    file->Close();
}

void Report::WriteHeader() {
    Markup("<h1>");
    Markup("Corvane");
    Markup("</h1>\n");
    Markup("<font face=\"arial narrow\">");
    Markup("<table>");
}

void Report::WriteFooter() {
    Markup("</table>");
    Markup("<font color=\"red\">Red file is <b>older</b></font><br>");
    Markup("</font>");
}

void Report::WriteCategoryHeading(std::string_view title) {
    Markup("<tr><td colspan=\"3\">");
    Markup("<h2>");
    Markup(title);
    Markup("</h2>\n");
    Markup("</td></tr>");
}

std::string_view Report::BeginRow(bool& shade) {
    std::string_view opener = shade ? kShadedCell : kPlainCell;
    shade = !shade;
    Markup("<tr>");
    Markup(opener);
    return opener;
}

void Report::WriteDuplicateRow(bool& shade, std::string_view name, std::string_view currentPath,
                               std::string_view earlierPath, bool currentIsOlder) {
    std::string_view cell = BeginRow(shade);
    Text(name);
    Markup("</td>");
    Markup(cell);
    if (currentIsOlder) Markup("<font color=\"red\">");
    Path(currentPath);
    if (currentIsOlder) Markup("</font>");
    Markup("</td>");
    Markup(cell);
    if (!currentIsOlder) Markup("<font color=\"red\">");
    Path(earlierPath);
    if (!currentIsOlder) Markup("</font>");
    Markup("</td></tr>");
}

void Report::WriteEntryRow(bool& shade, std::string_view label, std::string_view font,
                           std::string_view text, const std::string_view* paths, size_t count) {
    std::string_view cell = BeginRow(shade);
    Markup(label);
    Markup("</td>");
    Markup(cell);
    Markup(font);
    Text(text);
    Markup("</font>");
    Markup("</td>");
    Markup(cell);
    for (size_t i = 0; i < count; ++i) Path(paths[i]);
    Markup("</td></tr>");
}

void Report::WriteSyntaxRow(bool& shade, std::string_view line, std::string_view path) {
    WriteEntryRow(shade, "Syntax", "<font color=\"red\">", line, &path, 1);
}

void Report::WriteMissingTextureRow(bool& shade, std::string_view texture, std::string_view path) {
    WriteEntryRow(shade, "Missing Texture", "<font color=\"green\">", texture, &path, 1);
}

void Report::WriteMissingComponentRow(bool& shade, std::string_view name,
                                      const std::vector<std::string_view>& paths) {
    WriteEntryRow(shade, "Missing Component", "<font color=\"blue\">", name, paths.data(),
                  paths.size());
}

}  // namespace corvane
