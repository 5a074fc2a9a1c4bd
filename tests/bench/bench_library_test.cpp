// A CI-sized run of what bench/run measures: a tiny generated library checks
// to the end, showing every kind of row the generator promises, and the check
// reads exactly the files and bytes the floor reads.
#include <gtest/gtest.h>

#include "audit/check_run.h"
#include "bench/floor.h"
#include "bench/library_gen.h"
#include "commands/commands.h"
#include "report/html_report.h"
#include "tests/support/test_library.h"

namespace corvane::bench {
namespace {

TEST(GeneratedLibrary, ChecksCleanlyAndReadsWhatTheFloorReads) {
    corvane::testing::TempLibrary temp;
    std::string root = temp.Path("lib/");
    Manifest written = GenerateLibrary(root, 60, 1);
    EXPECT_EQ(written.files, 60);
    FloorResult floor = ReadLibraryFiles(platform::RealFileSystem(), root);
    EXPECT_EQ(floor.files, written.files);
    EXPECT_EQ(floor.bytes, written.bytes);

    CountingFileSystem counting(platform::RealFileSystem());
    corvane::testing::RecordingProgress progress;
    std::vector<OlderItem> older;
    ASSERT_NO_THROW(older = CheckAndWriteReport(root, progress, {.fs = &counting}).olderItems);
    EXPECT_EQ(progress.Last(), "Finished");
    EXPECT_EQ(counting.Reads(), floor.files);
    EXPECT_EQ(counting.ReadBytes(), floor.bytes);
    std::string report = temp.Read("lib/Corvane.htm");
    for (const Category& category : kCategories) {
        EXPECT_NE(report.find("<h2>" + std::string(category.title) + "</h2>"), std::string::npos);
    }
    EXPECT_NE(report.find("Missing Texture"), std::string::npos);
    EXPECT_NE(report.find("Missing Component"), std::string::npos);
    EXPECT_GT(older.size(), 0u);
}

}  // namespace
}  // namespace corvane::bench
