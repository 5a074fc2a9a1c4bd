// The HTML printer: the bytes of each kind of row, and the shading that runs
// on across the whole report.
#include "report/html_report.h"

#include <gtest/gtest.h>

#include <functional>

namespace corvane {
namespace {

class MemoryFile final : public platform::OutputFile {
  public:
    explicit MemoryFile(std::string& bytes) : m_Bytes(bytes) {}
    void Write(std::string_view bytes) override { m_Bytes.append(bytes); }
    void Close() override {}

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

TEST(HtmlReport, EachKindOfRow) {
    struct Case {
        const char* what;
        std::function<void(HtmlReport&)> findings;  // after the heading of Stock
        std::string rows;
    };
    const std::string red = "<font color=\"red\">", green = "<font color=\"green\">";
    const Case cases[] = {
        // (A duplicate whose earlier file is older: the seven-line report.)
        {"duplicate, this file older",
         [](HtmlReport& r) {
             r.Duplicate({"coach", "Stock/b.stk", "Stock/a.stk", true});
         },
         Row(false, "coach", red + "Stock/b.stk</font>", "Stock/a.stk")},
        {"syntax error, its file with the library root",
         [](HtmlReport& r) {
             r.SyntaxError({"skin \"x", "Stock/a.stk"});
         },
         Row(false, "Syntax", red + "skin &quot;x</font>", "/lib/Stock/a.stk")},
        {"missing texture",
         [](HtmlReport& r) {
             r.MissingTexture({"x.bmp", "Stock/a.stk"});
         },
         Row(false, "Missing Texture", green + "x.bmp</font>", "Stock/a.stk")},
        {"missing component, its files one after the other",
         [](HtmlReport& r) {
             r.MissingComponent({"wagon", {"Stock/a.stk", "Stock/b.stk"}});
         },
         Row(false, "Missing Component", "<font color=\"blue\">wagon</font>",
             "Stock/a.stkStock/b.stk")},
        {"library text escaped, split nowhere",
         [](HtmlReport& r) {
             r.Duplicate({"<b>c & \"o\"|</b>", "S/<i>.stk", "S/&.stk", false});
         },
         Row(false, "&lt;b&gt;c &amp; &quot;o&quot;|&lt;/b&gt;", "S/&lt;i&gt;.stk",
             red + "S/&amp;.stk</font>")},
        {"shading alternates and runs on across headings",
         [](HtmlReport& r) {
             for (const char* texture : {"x.bmp", "y.bmp", "z.bmp"})
                 r.MissingTexture({texture, "a"});
             r.BeginCategory("Scenery");
             r.MissingTexture({"w.bmp", "d"});
         },
         Row(false, "Missing Texture", green + "x.bmp</font>", "a") +
             Row(true, "Missing Texture", green + "y.bmp</font>", "a") +
             Row(false, "Missing Texture", green + "z.bmp</font>", "a") +
             "<tr><td colspan=\"3\"><h2>Scenery</h2>\r\n</td></tr>" +
             Row(true, "Missing Texture", green + "w.bmp</font>", "d")},
    };
    for (const Case& c : cases) {
        std::string bytes;
        HtmlReport report(std::make_unique<MemoryFile>(bytes));
        report.BeginCheck("/lib/");
        report.BeginCategory("Stock");
        c.findings(report);
        report.EndCheck({});
        EXPECT_EQ(bytes,
                  "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>"
                  "<tr><td colspan=\"3\"><h2>Stock</h2>\r\n</td></tr>" +
                      c.rows +
                      "</table><font color=\"red\">Red file is <b>older</b></font><br></font>")
            << c.what;
    }
}

}  // namespace
}  // namespace corvane
