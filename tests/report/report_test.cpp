// The report printers: the HTML one's bytes for each kind of row and its shading that runs on
// across the report; JSON and diagnostics for other tools, their shape, line numbers, and library
// texts that are not UTF-8 or hold characters that mean something in JSON, HTML or output lines.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "commands/commands.h"
#include "report/diagnostics.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "tests/support/test_library.h"
#include "text/text.h"

namespace corvane {
namespace {

using Json = nlohmann::ordered_json;
using testing::CrLf;

// A data row of a label (or name), a coloured text and a third cell, all shaded or plain.
std::string Row(bool shaded, const std::string& label, const std::string& text,
                const std::string& third) {
    const std::string td = shaded ? "<td style=\"background-color: #ccccff\">" : "<td>";
    return "<tr>" + td + label + "</td>" + td + text + "</td>" + td + third + "</td></tr>";
}

TEST(HtmlReport, EachKindOfRowAndShadingThatRunsOnAcrossHeadings) {
    testing::TempLibrary scratch;
    HtmlReport report(platform::RealFileSystem().Create(scratch.Path("r.htm")));
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
    auto heading = testing::ReportHeading;
    // The syntax row's file with the library root, the component's files one after the other,
    // library text escaped and split nowhere, no line number.
    EXPECT_EQ(scratch.Read("r.htm"),
              testing::kReportHead + heading("Stock") +
                  Row(false, "coach", red + "Stock/b.stk</font>", "Stock/a.stk") +
                  Row(true, "Syntax", red + "skin &quot;x</font>", "/lib/Stock/a.stk") +
                  Row(false, "Missing Texture", green + "x.bmp</font>", "Stock/a.stk") +
                  heading("Scenery") +
                  Row(true, "Missing Component", "<font color=\"blue\">wagon</font>",
                      "Stock/a.stkStock/b.stk") +
                  Row(false, "&lt;b&gt;c &amp; &quot;o&quot;|&lt;/b&gt;", "S/&lt;i&gt;.stk",
                      red + "S/&amp;.stk</font>") +
                  testing::kReportTail);
}

#ifndef _WIN32  // names with "<", ">", a line feed and bytes that are not UTF-8
TEST(JsonReport, ShapeAndTextsOfALibraryWithOddNames) {
    testing::TempLibrary library;
    // "\xe9" and "\xe4" are Latin-1 (not UTF-8); "\xc3\xa9" is UTF-8.
    library.Write("Stock/<b>&\xe9\n.stk",
                  CrLf({"name Caf\xe9\x1b <b>|\"x\"", "skin \"a|b", "include 0 0 0 W\xe4gen|x"}),
                  "2010-01-01 00:00");
    library.Write("Stock/z.stk", CrLf({"", "name caf\xe9\x1b <b>|\"x\""}), "2011-01-01 00:00");
    library.Write("Stock/\xc3\xa9t\xc3\xa9.stk", CrLf({"texture \"\xc3\xa9.bmp\""}));
    library.Write("Track/t.stt", CrLf({"name t"}));
    testing::RecordingProgress progress;
    FindingsCollector findings;
    CheckAndWriteReport(library.Root(), progress, {.findings = &findings});

    // The expected JSON with ODD for the odd file's name and EMPTY for a category without rows.
    std::string shape = R"({"library": "",
      "categories": [{"title": "Stock",
        "duplicates": [{"name": "caf\u00e9\u001b <b>|\"x\"", "file": "Stock/z.stk",
                        "earlier_file": ODD, "older": ODD,
                        "line_number": 2, "earlier_line_number": 1}],
        "syntax_errors": [{"line": "skin \"a|b", "file": ODD, "line_number": 2}],
        "missing_textures": [{"texture": "a|b.bmp", "file": ODD, "line_number": 2},
                             {"texture": "\u00e9.bmp", "file": "Stock/\u00e9t\u00e9.stk",
                              "line_number": 1}],
        "missing_components": [{"component": "w\u00e4gen|x", "files": [ODD],
                                "line_numbers": [3]}]},
        {"title": "Scenery" EMPTY}, {"title": "Signals" EMPTY}, {"title": "Track" EMPTY},
        {"title": "OHLE" EMPTY}],
      "older_items": [{"name": "caf\u00e9\u001b <b>|\"x\"", "file": ODD, "line_number": 1}]})";
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"ODD", R"("Stock/<b>&\u00e9\n.stk")"},
          {" EMPTY", R"(, "duplicates": [], "syntax_errors": [], "missing_textures": [],
                       "missing_components": [])"}}) {
        for (size_t at; (at = shape.find(from)) != std::string::npos;)
            shape.replace(at, from.size(), to);
    }
    Json expected = Json::parse(shape);
    expected["library"] = library.Root();

    const std::string text = JsonReport(findings.Result());
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(Json::parse(text), expected) << text;  // key order included

    // The same texts in diagnostics, a control character as "?": one line per row. A duplicate
    // stands at its newer copy.
    const std::string cafeShown = "caf\u00e9? <b>|\"x\"", oddShown = "Stock/<b>&\u00e9?.stk";
    EXPECT_EQ(DiagnosticsReport(findings.Result()),
              "Stock/z.stk:2: warning: duplicate item \"" + cafeShown + "\"; the older copy is " +
                  oddShown + ":1\n" + oddShown + ":2: error: syntax error: skin \"a|b\n" +
                  oddShown +
                  ":2: warning: missing texture a|b.bmp\n"
                  "Stock/\u00e9t\u00e9.stk:1: warning: missing texture \u00e9.bmp\n" +
                  oddShown + ":3: warning: missing component w\u00e4gen|x\n");
}
#endif

// The sample library's diagnostics whole, with the system's separator (no row's text holds "/").
TEST(Diagnostics, OfTheSampleLibraryAsTheTestsKeepThem) {
    testing::TempLibrary scratch;
    testing::PrepareSample(scratch.Path("lib"));
    testing::RecordingProgress progress;
    FindingsCollector findings;
    CheckAndWriteReport(platform::WithTrailingSeparator(scratch.Path("lib")), progress,
                        {.findings = &findings});
    std::string expected;
    platform::RealFileSystem().ReadFile(testing::HostPath(CORVANE_SAMPLE_DIAGNOSTICS), expected);
    EXPECT_EQ(DiagnosticsReport(findings.Result()), testing::Native(expected));
}

TEST(JsonReport, TextsThatAreNotUtf8BecomeLatin1) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain |<&>\"", "plain |<&>\""},
        {"\xc3\xa9t\xc3\xa9 \xf0\x9f\x9a\x82", "\xc3\xa9t\xc3\xa9 \xf0\x9f\x9a\x82"},  // UTF-8
        {"\xe9t\xe9", "\xc3\xa9t\xc3\xa9"},
        {"\xc3", "\xc3\x83"},                                      // cut short
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                          // overlong "/"
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},              // a surrogate
        {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},  // above U+10FFFF
        {"\xc3\xa9\xff", "\xc3\x83\xc2\xa9\xc3\xbf"},              // one bad byte: all Latin-1
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(text::Utf8OrLatin1(bytes), text) << bytes;
}

}  // namespace
}  // namespace corvane
