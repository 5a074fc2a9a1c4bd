// The printers for other tools, JSON and diagnostics: their shape, line
// numbers, and library texts that are not UTF-8 or hold characters that mean
// something in JSON, HTML or a line of output.
#include "report/json_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "commands/commands.h"
#include "report/diagnostics.h"
#include "report/html_report.h"
#include "tests/support/test_library.h"
#include "text/text.h"

namespace corvane {
namespace {

using Json = nlohmann::ordered_json;
using testing::CrLf;

#ifndef _WIN32  // names with "<", ">", a line feed and bytes that are not UTF-8
TEST(JsonReport, ShapeAndTextsOfALibraryWithOddNames) {
    testing::TempLibrary library;
    // "\xe9" and "\xe4" are Latin-1 (not UTF-8); "\xc3\xa9" is UTF-8.
    library.Write("Stock/<b>&\xe9\n.stk",
                  CrLf({"name Caf\xe9\x1b <b>|\"x\"", "skin \"a|b", "include 0 0 0 W\xe4gen|x"}),
                  "2010-01-01 00:00");
    library.Write("Stock/z.stk", CrLf({"", "name caf\xe9\x1b <b>|\"x\""}), "2011-01-01 00:00");
    library.Write("Stock/\xc3\xa9t\xc3\xa9.stk", CrLf({"texture \"\xc3\xa9.bmp\""}));
    library.Write("Stock/NFP/hidden.stk", CrLf({"skin \"open", "include 0 0 0 spook"}));
    library.Write("Track/t.stt", CrLf({"name t"}));
    testing::RecordingProgress progress;
    FindingsCollector findings;
    CheckAndWriteReport(library.Root(), progress, {.findings = &findings});

    const std::string cafe = "caf\u00e9\x1b <b>|\"x\"";
    const std::string odd = "Stock/<b>&\u00e9\n.stk";
    auto empty = [](const char* title) {
        return Json{{"title", title},
                    {"duplicates", Json::array()},
                    {"syntax_errors", Json::array()},
                    {"missing_textures", Json::array()},
                    {"missing_components", Json::array()}};
    };
    Json stock = empty("Stock");
    stock["duplicates"].push_back({{"name", cafe},
                                   {"file", "Stock/z.stk"},
                                   {"earlier_file", odd},
                                   {"older", odd},
                                   {"line_number", 2},
                                   {"earlier_line_number", 1}});
    stock["syntax_errors"].push_back({{"line", "skin \"a|b"}, {"file", odd}, {"line_number", 2}});
    stock["missing_textures"].push_back(
        {{"texture", "a|b.bmp"}, {"file", odd}, {"line_number", 2}});
    stock["missing_textures"].push_back(
        {{"texture", "\u00e9.bmp"}, {"file", "Stock/\u00e9t\u00e9.stk"}, {"line_number", 1}});
    stock["missing_components"].push_back({{"component", "w\u00e4gen|x"},
                                           {"files", Json::array({odd})},
                                           {"line_numbers", Json::array({3})}});
    const Json expected = {
        {"library", library.Root()},
        {"categories",
         Json::array({stock, empty("Scenery"), empty("Signals"), empty("Track"), empty("OHLE")})},
        {"older_items", Json::array({{{"name", cafe}, {"file", odd}, {"line_number", 1}}})}};

    const std::string text = JsonReport(findings.Result());
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(Json::parse(text), expected) << text;  // key order included

    // The same texts in diagnostics, a control character as "?": one line
    // per row. A duplicate stands at its newer copy.
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

// The sample library's diagnostics whole, with the system's separator (no
// text of its rows holds a "/").
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
    // Control characters and NUL survive as JSON escapes.
    const std::string nul("a\0\x01", 3);
    EXPECT_EQ(Json::parse(Json(text::Utf8OrLatin1(nul)).dump()).get<std::string>(), nul);
}

}  // namespace
}  // namespace corvane
