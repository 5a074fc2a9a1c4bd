// The live line and the log lines that corvane-cli writes to stderr, on a
// clock the test moves.
#include "cli/console_progress.h"

#include <gtest/gtest.h>

#include <variant>

namespace corvane::cli {
namespace {

using std::chrono::milliseconds;
using Mode = ConsoleProgress::Mode;

struct Status {
    std::string text;
};
struct Counts {
    size_t files, items;
};
struct Clear {};
struct Wait {
    int ms;
};
using Step = std::variant<Status, Counts, Clear, Wait>;

TEST(ConsoleProgress, WhatEachModeWrites) {
    struct Case {
        const char* name;
        Mode mode;
        unsigned columns;
        std::vector<Step> steps;
        std::string written;
    };
    const std::string erase = "\r\033[K";
    const Case cases[] = {
        {"live line: first text at once, then at most every 100 ms",
         Mode::kLine,
         80,
         {Status{"Stock"}, Counts{1, 5}, Wait{99}, Status{"Stock/A"}, Wait{1}, Counts{2, 9},
          Wait{65000}, Status{"Track"}, Clear{}},
         erase + "0:00  0 files  0 items  Stock" + erase + "0:00  2 files  9 items  Stock/A" +
             erase + "1:05  2 files  9 items  Track" + erase},
        {"cleared line comes back with the next change",
         Mode::kLine,
         80,
         {Status{"a"}, Clear{}, Status{"b"}, Clear{}, Clear{}},
         erase + "0:00  0 files  0 items  a" + erase + erase + "0:00  0 files  0 items  b" + erase},
        {"nothing shown, nothing to clear", Mode::kLine, 80, {Clear{}}, ""},
        {"cut one column short of the width, not inside a character",
         Mode::kLine,
         32,
         {Status{"Stock/\xc3\xa9\xc3\xa9\xc3\xa9/x"}},
         erase + "0:00  0 files  0 items  Stock/"},
        {"control characters from the library shown as ?",
         Mode::kLine,
         0,
         {Status{"a\033[2Jb\nc\x7f"}},
         erase + "0:00  0 files  0 items  a?[2Jb?c?"},
        {"log lines: each new text once, no counts, nothing to clear",
         Mode::kLines,
         80,
         {Status{"Stock"}, Counts{1, 1}, Status{"Stock"}, Status{"a\tb"}, Status{"Stock"}, Clear{}},
         "Stock\na?b\nStock\n"},
        {"console without control sequences: what the last line showed beyond the new one, "
         "counted in characters, overwritten with spaces",
         Mode::kPlainLine,
         80,
         {Status{"Stock/\xc3\xa9t\xc3\xa9"}, Wait{100}, Status{"Track"}, Clear{}},
         "\r0:00  0 files  0 items  Stock/\xc3\xa9t\xc3\xa9\r0:00  0 files  0 items  Track    \r" +
             std::string(29, ' ') + "\r"},
        {"silent", Mode::kSilent, 80, {Status{"Stock"}, Counts{1, 1}, Clear{}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::chrono::steady_clock::time_point now{};
        std::string written;
        ConsoleProgress progress(
            c.mode, c.columns, [&](std::string_view text) { written += text; },
            [&] { return now; });
        for (const Step& step : c.steps) {
            if (auto* s = std::get_if<Status>(&step)) progress.Status(s->text);
            if (auto* n = std::get_if<Counts>(&step)) progress.Counts(n->files, n->items);
            if (std::holds_alternative<Clear>(step)) progress.Clear();
            if (auto* w = std::get_if<Wait>(&step)) now += milliseconds(w->ms);
        }
        EXPECT_EQ(written, c.written);
    }
}

}  // namespace
}  // namespace corvane::cli
