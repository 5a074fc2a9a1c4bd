// The HTML printer: the bytes of each kind of row, and the shading that runs
// on across the whole report.
#include "report/html_report.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

class MemoryFile final : public platform::OutputFile {
  public:
    explicit MemoryFile(std::string& bytes) : m_Bytes(bytes) {}
    void Write(std::string_view bytes) override { m_Bytes.append(bytes); }
    std::vector<std::string> KeepAttributesOf(platform::InputFile&, bool) override { return {}; }
    void Finish() override {}
    void Place() override {}
    void PlaceIfFree() override {}
    void PlaceIfUnchanged(const platform::FileVersion&) override {}

  private:
    std::string& m_Bytes;
};

// A data row of a label (or name), a coloured text and a third cell, its
// cells all shaded or plain.
std::string Row(bool shaded, const std::string& label, const std::string& text,
                const std::string& third) {
    const std::string td = shaded ? "<td style=\"background-color: #ccccff\">" : "<td>";
    return "<tr>" + td + label + "</td>" + td + text + "</td>" + td + third + "</td></tr>";
}

TEST(HtmlReport, EachKindOfRowAndShadingThatRunsOnAcrossHeadings) {
    std::string bytes;
    HtmlReport report(std::make_unique<MemoryFile>(bytes));
    report.BeginCheck("/lib/");
    report.BeginCategory("Stock");
    report.Duplicate({"coach", "Stock/b.stk", "Stock/a.stk", true, 3, 1});
    report.SyntaxError({"skin \"x", "Stock/a.stk", 7});
    report.MissingTexture({"x.bmp", "Stock/a.stk", 9});
    report.BeginCategory("Scenery");
    report.MissingComponent({"wagon", {"Stock/a.stk", "Stock/b.stk"}, {4, 2}});
    report.Duplicate({"<b>c & \"o\"|</b>", "S/<i>.stk", "S/&.stk", false, 1, 1});
    report.EndCheck({});

    const std::string red = "<font color=\"red\">", green = "<font color=\"green\">";
    auto heading = [](const char* title) {
        return std::string("<tr><td colspan=\"3\"><h2>") + title + "</h2>\r\n</td></tr>";
    };
    // The syntax row's file with the library root, the component's files one
    // after the other, library text escaped and split nowhere, no line number.
    EXPECT_EQ(bytes, "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>" + heading("Stock") +
                         Row(false, "coach", red + "Stock/b.stk</font>", "Stock/a.stk") +
                         Row(true, "Syntax", red + "skin &quot;x</font>", "/lib/Stock/a.stk") +
                         Row(false, "Missing Texture", green + "x.bmp</font>", "Stock/a.stk") +
                         heading("Scenery") +
                         Row(true, "Missing Component", "<font color=\"blue\">wagon</font>",
                             "Stock/a.stkStock/b.stk") +
                         Row(false, "&lt;b&gt;c &amp; &quot;o&quot;|&lt;/b&gt;", "S/&lt;i&gt;.stk",
                             red + "S/&amp;.stk</font>") +
                         "</table><font color=\"red\">Red file is <b>older</b></font><br></font>");
}

}  // namespace
}  // namespace corvane
