// The report file "Corvane.htm": the findings of a check run as one table of
// rows, category by category. Every byte of it is written here. Texts taken
// from the library are escaped for HTML; the markup's own line feeds are
// written as CR LF. Texts read from library files stand as their bytes;
// paths, whose names come from the file system, are written in the system
// code page, as every other text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audit/findings.h"
#include "audit/library_root.h"
#include "audit/progress.h"
#include "platform/files.h"

namespace corvane {

class HtmlReport final : public FindingSink {
  public:
    explicit HtmlReport(std::unique_ptr<platform::OutputFile> file);

    void BeginCheck(const std::string& libraryRoot) override;
    void BeginCategory(std::string_view title) override;
    void Duplicate(const DuplicateFinding& finding) override;
    void SyntaxError(const SyntaxFinding& finding) override;
    void MissingTexture(const TextureFinding& finding) override;
    void MissingComponent(const ComponentFinding& finding) override;
    // Writes the footer and closes the file.
    void EndCheck(const std::vector<OlderItem>& olderItems) override;
    // Closes the table written so far and ends the report with a note that
    // the check did not finish, and why.
    void CheckFailed(const std::string& reason) override;

  private:
    // Writes the buffer out once it holds enough to be worth a write.
    void WriteOutWhenFull();
    // Markup of ours, as it is: it holds its line ends as CR LF.
    void Markup(std::string_view markup);
    void Text(std::string_view text);
    // A path: its names in the system code page, a character the code page
    // cannot hold as a numeric character reference.
    void Path(std::string_view path);
    // The text Path() writes for path, made in out.
    void MakePathText(std::string_view path, std::string& out);
    // Data rows alternate between plain and shaded cells across the whole
    // report: whether the next row is shaded.
    bool NextRowShaded();
    // "<tr>" and the first cell opener; returns the opener for the others.
    std::string_view BeginRow();
    // The kinds of row that give a label, a coloured text and the paths it
    // was found in (underRoot: below the library root, which comes first).
    enum EntryKind { kSyntaxRow, kTextureRow, kComponentRow, kEntryKinds };
    void WriteEntryRow(EntryKind kind, std::string_view text, const std::string* paths,
                       size_t count, bool underRoot = false);
    // Writes out what is buffered and closes the file.
    void Close();

    std::unique_ptr<platform::OutputFile> m_File;
    std::string m_Buffer;
    std::string m_LastPath;      // the path Path() wrote last
    std::string m_LastPathText;  // and what it wrote for it
    std::string m_Escaped;
    std::string m_LibraryRootText;  // as Path() writes it
    bool m_Shade = false;
    // The markup of an entry row up to its text, and from its text to its
    // paths, plain and shaded, made once: a report may hold a row for every
    // line of the library.
    std::string m_EntryHead[kEntryKinds][2];
    std::string m_EntryMiddle[2];
};

// Escapes &, <, > and " for HTML and writes each line feed as CR LF.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace corvane
