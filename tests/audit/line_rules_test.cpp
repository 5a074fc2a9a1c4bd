// How single lines are read: their kind (in the plain model the scanner is
// tested against) and the names they carry.
#include "audit/line_rules.h"

#include <gtest/gtest.h>

#include "tests/support/reference_scan.h"
#include "text/text.h"

namespace corvane {
namespace {

using testing::ClassifyLine;
using testing::LineKind;

using TextCase = std::pair<const char*, const char*>;  // input, expected

TEST(LineRules, KindsAreTestedInOrderAsPrefixes) {
    const std::pair<const char*, LineKind> cases[] = {{"# include 0 0 0 x", LineKind::kComment},
                                                      {"// include 0 0 0 x", LineKind::kComment},
                                                      {"/ include 0 0 0 x", LineKind::kOther},
                                                      {"imperialfloat", LineKind::kImperialFloat},
                                                      {"wheelbase 2.5", LineKind::kWheelbase},
                                                      {"wheel 0 0 0 1 1 a", LineKind::kComponent},
                                                      {"skinned", LineKind::kSkin},
                                                      {"includes 0 0 0 x", LineKind::kComponent},
                                                      {"door 0 0 0 d", LineKind::kComponent},
                                                      {"bogie 1 2 3 b", LineKind::kComponent},
                                                      {"name brick.bmp", LineKind::kName},
                                                      {"nameplate 3", LineKind::kName},
                                                      {"nam", LineKind::kOther},
                                                      {"texture brick.bmp", LineKind::kBitmap},
                                                      {".bmp at the start", LineKind::kOther},
                                                      {"[end]", LineKind::kOther}};
    for (const auto& [work, kind] : cases) EXPECT_EQ(ClassifyLine(work), kind) << work;
}

TEST(LineRules, SkipTokenRemovesOneFieldAndItsSeparator) {
    const TextCase cases[] = {{"12 34", "34"},     {"12/34", "34"}, {"12:34", "34"},
                              {"1234", ""},        {"\t12", "12"},  {"1.5 -2", "-2"},
                              {"/34 56", "34 56"}, {"", ""},        {"\xe9\xe9 x", "x"}};
    for (const auto& [input, expected] : cases) {
        std::string_view text = input;
        SkipToken(text);
        EXPECT_EQ(text, expected) << '"' << input << '"';
    }
    std::string_view text = " 12 34";
    EXPECT_EQ(SkipToken(text), "");  // a leading separator is a field of its own
    text = "ab\t cd";
    EXPECT_EQ(SkipToken(text), "ab");
}

TEST(LineRules, ItemAndBitmapNames) {
    const TextCase names[] = {{"name coach a // old comment", "coach a"},
                              {"name//x", "//x"},
                              {"name # x", ""},
                              {"nameplate 3", "plate 3"},
                              {"name a#b//c", "a"},
                              {"name   spaced   out  ", "spaced   out"}};
    for (const auto& [input, expected] : names) EXPECT_EQ(TakeItemName(input), expected) << input;
    const TextCase bitmaps[] = {{"texture \"walls/brick.bmp\" 0 0", "brick.bmp"},
                                {"texture brick.bmp", "exture brick.bmp"},
                                {"x.bmp and y.bmp", ".bmp"},
                                {"a\"b\"c.bmp", "c.bmp"},
                                {".bmp first", ""}};
    for (const auto& [input, expected] : bitmaps) {
        EXPECT_EQ(testing::TakeBitmapReference(input), expected) << input;
    }
}

TEST(LineRules, SkinLinesNameTheirTexture) {
    struct SkinCase {
        const char* work;
        const char* currentName;
        const char* texture;
        bool syntaxError;
    };
    const SkinCase cases[] = {
        {"skin \"brick\" 1 2 3", "", "brick.bmp", false},
        {"skin", "wall1", "wall1.bmp", false},
        {"skin \"brick", "", "brick.bmp", true},
        {"skin \"\"", "", "\".bmp", true},
        {"skin brick.png", "", "brick.png", false},
        {"skin textures/brick", "", "brick.bmp", false},
        {"skin a/b/brick", "", "b/brick.bmp", false},
        {"skinned", "", "ned.bmp", false},
        {"skin brick // note", "", "/ note.bmp", false},
    };
    for (const SkinCase& c : cases) {
        testing::SkinReference skin = testing::TakeSkinReference(c.work, c.currentName);
        EXPECT_EQ(std::pair(std::string(skin.texture), skin.syntaxError),
                  std::pair(std::string(c.texture), c.syntaxError))
            << c.work;
    }
}

TEST(LineRules, ComponentReferences) {
    // Tags such as [LEFT] are removed after lower-casing.
    const TextCase cases[] = {{"include 1.5 -2 0.25 Tree", "tree"},
                              {"WHEEL 0 0 0 1 1 WheelA", "wheela"},
                              {"include 0 0 0 1 1 WheelA", "1 1 wheela"},
                              {"include 0 0 0 [d3d]Tree", "tree"},
                              {"include 0 0 0 =Tree", "tree"},
                              {"include 0 0 0 Tree=2", "tree2"},
                              {"include 0 0 0 Tree[LEFT]", "tree"},
                              {"include 0 0 0 Tree // big one", "tree"},
                              {"include 0 0 0 [lod2] Tree", "tree"},
                              {"include 0 0 0 <500.5 Tree", "tree"},
                              {"include 0 0 0 !Tree", "tree"},
                              {"include 0 0 0 !?Tree", "tree"},
                              {"include 0 0 0 ?!Tree", "!tree"},
                              {"include 0 0 0 ! Tree", " tree"},
                              {"include 0 0 0", ""},
                              {"includewheel 0 0 0 Tree", "tree"},
                              {"include 0 0 0 Mast A Arm", "mast a arm"}};
    for (const auto& [kept, reference] : cases) {
        EXPECT_EQ(testing::TakeComponentReference(text::ToLower(kept), kept), reference) << kept;
    }
}

}  // namespace
}  // namespace corvane
