// The generated libraries hold what the benchmark promises (every category,
// duplicates, missing textures and components), the same seed gives the same
// library, and the check run reads exactly the files that the floor reads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "audit/check_run.h"
#include "bench/floor.h"
#include "bench/library_gen.h"
#include "tests/support/test_library.h"

namespace corvane::bench {
namespace {

namespace fs = std::filesystem;
using corvane::testing::RecordingProgress;
using corvane::testing::TempLibrary;

size_t Count(const std::string& text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Every file below root with its size, time and bytes, in path order.
std::string Snapshot(const std::string& root) {
    std::vector<std::string> lines;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        struct stat st {};
        ::stat(entry.path().c_str(), &st);
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        lines.push_back(fs::relative(entry.path(), root).string() + " " +
                        std::to_string(st.st_mtime) + "\n" + bytes.str());
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines) all += line;
    return all;
}

struct Size {
    int files;
    std::uint64_t seed;
};

class GeneratedLibrary : public ::testing::TestWithParam<Size> {};

TEST_P(GeneratedLibrary, CheckRunReadsWhatTheFloorReadsAndReportsEveryKind) {
    TempLibrary temp;
    std::string root = temp.Path("lib/");
    Manifest written = GenerateLibrary(root, GetParam().files, GetParam().seed);
    Manifest read = ReadManifest(root);
    EXPECT_EQ(read.files, GetParam().files);
    EXPECT_EQ(read.items, written.items);
    EXPECT_GE(read.items, 3 * read.files);
    EXPECT_LE(read.items, 7 * read.files);

    FloorResult floor = ReadLibraryFiles(platform::RealFileSystem(), root);
    EXPECT_EQ(floor.files, read.files);
    EXPECT_EQ(floor.bytes, read.bytes);

    CountingFileSystem counting(platform::RealFileSystem());
    CheckState state;
    RecordingProgress progress;
    RunCheck(state, progress, root, counting);
    EXPECT_EQ(counting.Reads(), floor.files);
    EXPECT_EQ(counting.ReadBytes(), floor.bytes);

    std::string report = temp.Read("lib/Corvane.htm");
    for (const Category& category : kCategories) {
        EXPECT_EQ(Count(report, "<h2>" + std::string(category.title) + "</h2>"), 1u);
    }
    EXPECT_GT(Count(report, "Missing Texture"), 0u);
    EXPECT_GT(Count(report, "Missing Component"), 0u);
    EXPECT_GT(state.m_OlderNames.size(), 0u);
    EXPECT_EQ(progress.m_Label, DeleteButtonLabel(state.m_OlderNames.size()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, GeneratedLibrary,
                         ::testing::Values(Size{50, 1}, Size{50, 7}, Size{120, 3}),
                         [](const ::testing::TestParamInfo<Size>& info) {
                             return std::to_string(info.param.files) + "FilesSeed" +
                                    std::to_string(info.param.seed);
                         });

TEST(GeneratedLibraryTest, SameSeedSameLibraryOtherSeedOtherLibrary) {
    TempLibrary temp;
    GenerateLibrary(temp.Path("a"), 30, 5);
    GenerateLibrary(temp.Path("b"), 30, 5);
    GenerateLibrary(temp.Path("c"), 30, 6);
    std::string a = Snapshot(temp.Path("a"));
    EXPECT_EQ(a, Snapshot(temp.Path("b")));
    EXPECT_NE(a, Snapshot(temp.Path("c")));
}

TEST(GeneratedLibraryTest, RefusesARootThatExists) {
    TempLibrary temp;
    GenerateLibrary(temp.Path("lib"), 5, 1);
    EXPECT_THROW(GenerateLibrary(temp.Path("lib"), 5, 1), std::runtime_error);
    EXPECT_THROW(GenerateLibrary(temp.Root(), 5, 1), std::runtime_error);
}

}  // namespace
}  // namespace corvane::bench
