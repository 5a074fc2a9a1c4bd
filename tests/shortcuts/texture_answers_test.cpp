// The check keeps texture answers for the folder being walked and for the
// shared folder. These cases ask the same texture from folders where the
// answer differs, and the same missing texture more than once.
#include <gtest/gtest.h>

#include <regex>
#include <utility>

#include "audit/check_run.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::RecordingProgress;
using testing::TempLibrary;

using Rows = std::vector<std::pair<std::string, std::string>>;  // texture, file

// The missing texture rows of the report, in order.
Rows MissingTextures(const std::string& report) {
    static const std::regex row(
        "Missing Texture</td><td[^>]*><font color=\"green\">([^<]*)</font></td><td[^>]*>([^<]*)"
        "</td>");
    Rows rows;
    for (std::sregex_iterator it(report.begin(), report.end(), row), end; it != end; ++it) {
        rows.emplace_back((*it)[1], (*it)[2]);
    }
    return rows;
}

struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // relative path, bytes
    Rows missing;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class TextureAnswers : public ::testing::TestWithParam<Case> {};

TEST_P(TextureAnswers, AreThoseOfAFreshLookup) {
    TempLibrary library;
    for (const auto& [path, bytes] : GetParam().files) library.Write(path, bytes);
    CheckState state;
    RecordingProgress progress;
    RunCheck(state, progress, library.Root());
    EXPECT_EQ(MissingTextures(library.Report()), GetParam().missing);
}

const std::string kSkinWall = CrLf({"name a", "skin wall"});

INSTANTIATE_TEST_SUITE_P(
    Cases, TextureAnswers,
    ::testing::Values(Case{"FoundBesideOneFileNotBesideTheNext",
                           {{"Scenery/A/Sub/c.stc", kSkinWall},
                            {"Scenery/A/a.stc", kSkinWall},
                            {"Scenery/A/Wall.BMP", "BM"},
                            {"Scenery/B/b.stc", kSkinWall}},
                           {{"wall.bmp", "Scenery/A/Sub/c.stc"}, {"wall.bmp", "Scenery/B/b.stc"}}},
                      Case{"FoundInASubfolderNotInItsParent",
                           {{"Scenery/A/Sub/c.stc", kSkinWall},
                            {"Scenery/A/Sub/wall.bmp", "BM"},
                            {"Scenery/A/a.stc", kSkinWall}},
                           {{"wall.bmp", "Scenery/A/a.stc"}}},
                      Case{"SameFolderNameInAnotherCategory",
                           {{"Scenery/A/a.stc", kSkinWall},
                            {"Scenery/A/wall.bmp", "BM"},
                            {"Signals/A/a.stc", kSkinWall}},
                           {{"wall.bmp", "Signals/A/a.stc"}}},
                      Case{"SharedFolderAnswersEveryFolder",
                           {{"textures/Roof.BMP", "BM"},
                            {"Stock/A/a.stk", CrLf({"skin roof", "skin gone"})},
                            {"Stock/B/b.stk", CrLf({"texture \"roof.bmp\"", "skin gone"})}},
                           {{"gone.bmp", "Stock/A/a.stk"}, {"gone.bmp", "Stock/B/b.stk"}}},
                      Case{"BesideTheFileBeforeTheSharedFolder",
                           {{"Stock/A/a.stk", kSkinWall},
                            {"Stock/A/wall.bmp", "BM"},
                            {"Stock/B/b.stk", kSkinWall},
                            {"Stock/C/c.stk", kSkinWall},
                            {"Stock/C/wall.bmp", "BM"}},
                           {{"wall.bmp", "Stock/B/b.stk"}}},
                      Case{"EveryLineOfAMissingTextureIsReported",
                           {{"Track/t.stt",
                             CrLf({"skin gone", "texture \"gone.bmp\"", "skin gone"})}},
                           {{"gone.bmp", "Track/t.stt"},
                            {"gone.bmp", "Track/t.stt"},
                            {"gone.bmp", "Track/t.stt"}}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
