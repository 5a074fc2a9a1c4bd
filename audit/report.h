// The report file "Corvane.htm": one table of rows, category by category.
// Every byte of it is written here. Texts taken from the library are escaped
// for HTML; the markup's own line feeds are written as CR LF. Texts read from
// library files stand as their bytes; paths, whose names come from the file
// system, are written in the system code page, as every other text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace corvane {

inline constexpr const char* kReportName = "Corvane.htm";

class Report {
  public:
    explicit Report(std::unique_ptr<platform::OutputFile> file);

    void WriteHeader();
    void WriteFooter();
    void WriteCategoryHeading(std::string_view title);

    // Data rows take the shading toggle: the row's cells are shaded when it
    // is set, and it flips once for the row.
    void WriteDuplicateRow(bool& shade, std::string_view name, std::string_view currentPath,
                           std::string_view earlierPath, bool currentIsOlder);
    void WriteSyntaxRow(bool& shade, std::string_view line, std::string_view path);
    void WriteMissingTextureRow(bool& shade, std::string_view texture, std::string_view path);
    void WriteMissingComponentRow(bool& shade, std::string_view name,
                                  const std::vector<std::string_view>& paths);

    // Writes out what is buffered and closes the file.
    void Close();

  private:
    void Markup(std::string_view markup);
    void Text(std::string_view text);
    // A path: its names in the system code page, a character the code page
    // cannot hold as a numeric character reference.
    void Path(std::string_view path);
    // "<tr>" and the first cell opener; returns the opener for the others.
    std::string_view BeginRow(bool& shade);
    // A row of a label, a coloured text and the paths it was found in.
    void WriteEntryRow(bool& shade, std::string_view label, std::string_view font,
                       std::string_view text, const std::string_view* paths, size_t count);

    std::unique_ptr<platform::OutputFile> m_File;
    std::string m_Buffer;
    std::string m_Escaped;
};

// Escapes &, <, > and " for HTML and writes each line feed as CR LF.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace corvane
