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

const std::string kShaded = "<td style=\"background-color: #ccccff\">";

TEST(HtmlReport, EachKindOfRow) {
    struct Case {
        const char* what;
        std::function<void(HtmlReport&)> findings;  // after the heading of Stock
        std::string rows;
    };
    const Case cases[] = {
        {"duplicate, earlier file older",
         [](HtmlReport& r) {
             r.Duplicate({"coach", "Stock/b.stk", "Stock/a.stk", false});
         },
         "<tr><td>coach</td><td>Stock/b.stk</td><td><font color=\"red\">Stock/a.stk</font>"
         "</td></tr>"},
        {"duplicate, this file older",
         [](HtmlReport& r) {
             r.Duplicate({"coach", "Stock/b.stk", "Stock/a.stk", true});
         },
         "<tr><td>coach</td><td><font color=\"red\">Stock/b.stk</font></td><td>Stock/a.stk"
         "</td></tr>"},
        {"syntax error, its file with the library root",
         [](HtmlReport& r) {
             r.SyntaxError({"skin \"x", "Stock/a.stk"});
         },
         "<tr><td>Syntax</td><td><font color=\"red\">skin &quot;x</font></td>"
         "<td>/lib/Stock/a.stk</td></tr>"},
        {"missing texture",
         [](HtmlReport& r) {
             r.MissingTexture({"x.bmp", "Stock/a.stk"});
         },
         "<tr><td>Missing Texture</td><td><font color=\"green\">x.bmp</font></td>"
         "<td>Stock/a.stk</td></tr>"},
        {"missing component, its files one after the other",
         [](HtmlReport& r) {
             r.MissingComponent({"wagon", {"Stock/a.stk", "Stock/b.stk"}});
         },
         "<tr><td>Missing Component</td><td><font color=\"blue\">wagon</font></td>"
         "<td>Stock/a.stkStock/b.stk</td></tr>"},
        {"library text escaped, split nowhere",
         [](HtmlReport& r) {
             r.Duplicate({"<b>c & \"o\"|</b>", "S/<i>.stk", "S/&.stk", false});
         },
         "<tr><td>&lt;b&gt;c &amp; &quot;o&quot;|&lt;/b&gt;</td><td>S/&lt;i&gt;.stk</td>"
         "<td><font color=\"red\">S/&amp;.stk</font></td></tr>"},
        {"shading alternates and runs on across headings",
         [](HtmlReport& r) {
             r.MissingTexture({"x.bmp", "a"});
             r.MissingTexture({"y.bmp", "b"});
             r.MissingTexture({"z.bmp", "c"});
             r.BeginCategory("Scenery");
             r.MissingTexture({"w.bmp", "d"});
         },
         "<tr><td>Missing Texture</td><td><font color=\"green\">x.bmp</font></td><td>a</td></tr>"
         "<tr>" +
             kShaded + "Missing Texture</td>" + kShaded +
             "<font color=\"green\">y.bmp"
             "</font></td>" +
             kShaded +
             "b</td></tr>"
             "<tr><td>Missing Texture</td><td><font "
             "color=\"green\">z.bmp</font></td><td>c</td></tr>"
             "<tr><td colspan=\"3\"><h2>Scenery</h2>\r\n</td></tr>"
             "<tr>" +
             kShaded + "Missing Texture</td>" + kShaded +
             "<font color=\"green\">w.bmp"
             "</font></td>" +
             kShaded + "d</td></tr>"},
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
