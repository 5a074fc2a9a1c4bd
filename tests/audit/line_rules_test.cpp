// How single lines are read: their kind and the names they carry.
#include "audit/line_rules.h"

#include <gtest/gtest.h>

#include "text/text.h"

namespace corvane {
namespace {

struct KindCase {
    const char* work;
    LineKind kind;
};

TEST(LineRules, KindsAreTestedInOrderAsPrefixes) {
    const KindCase cases[] = {
        {"# include 0 0 0 x", LineKind::kComment},
        {"// include 0 0 0 x", LineKind::kComment},
        {"/ include 0 0 0 x", LineKind::kOther},
        {"imperialfloat", LineKind::kImperialFloat},
        {"wheelbase 2.5", LineKind::kWheelbase},
        {"wheel 0 0 0 1 1 a", LineKind::kComponent},
        {"skinned", LineKind::kSkin},
        {"skin brick.bmp", LineKind::kSkin},
        {"includes 0 0 0 x", LineKind::kComponent},
        {"door 0 0 0 d", LineKind::kComponent},
        {"bogie 1 2 3 b", LineKind::kComponent},
        {"name brick.bmp", LineKind::kName},
        {"nameplate 3", LineKind::kName},
        {"nam", LineKind::kOther},
        {"texture brick.bmp", LineKind::kBitmap},
        {".bmp at the start", LineKind::kOther},
        {"[end]", LineKind::kOther},
    };
    for (const KindCase& c : cases) EXPECT_EQ(ClassifyLine(c.work), c.kind) << c.work;
}

TEST(LineRules, FindBmpFindsTheFirstInAnyCaseAnywhere) {
    const std::pair<const char*, size_t> cases[] = {
        {".bmp", 0},
        {"a.BMP", 1},
        {"a.bMpx.bmp", 1},
        {"pppp.bm", std::string_view::npos},
        {"bmp", std::string_view::npos},
        {"0123456789abcdef.Bmp", 16},
        {"vertex 1.5 2.5 3.bmq", std::string_view::npos},
        {"0123456.bmp.bmp", 7},
        {"\xd0\xf0.bm\xd0 .bmP", 7},
    };
    for (const auto& [text, at] : cases) EXPECT_EQ(FindBmp(text), at) << text;
}

struct TextCase {
    const char* input;
    const char* expected;
};

TEST(LineRules, SkipTokenRemovesOneFieldAndItsSeparator) {
    const TextCase cases[] =
        {
            {"12 34", "34"},     {"12/34", "34"},  {"12:34", "34"},     {"1234", ""},
            {"\t12", "12"},      {"1.5 -2", "-2"}, {"/34 56", "34 56"}, {"", ""},
            {"\xe9\xe9 x", "x"},  // bytes above 127 are never separators
        };
    for (const TextCase& c : cases) {
        std::string_view text = c.input;
        SkipToken(text);
        EXPECT_EQ(text, c.expected) << '"' << c.input << '"';
    }
    std::string_view text = " 12 34";
    EXPECT_EQ(SkipToken(text), "");  // a leading separator is a field of its own
    text = "ab\t cd";
    EXPECT_EQ(SkipToken(text), "ab");
}

TEST(LineRules, ItemNameIsCutBeforeCommentsAfterItsFirstCharacter) {
    const TextCase cases[] = {
        {"name coach a // old comment", "coach a"},
        {"name//x", "//x"},
        {"name # x", ""},
        {"name", ""},
        {"nameplate 3", "plate 3"},
        {"name a#b//c", "a"},
        {"name   spaced   out  ", "spaced   out"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(TakeItemName(c.input), c.expected) << c.input;
}

TEST(LineRules, SkinLinesNameTheirTexture) {
    struct SkinCase {
        const char* work;
        const char* currentName;
        const char* texture;
        bool syntaxError;
    };
    const SkinCase cases[] = {
        {"skin brick", "", "brick.bmp", false},
        {"skin \"brick.bmp\"", "", "brick.bmp", false},
        {"skin \"brick\" 1 2 3", "", "brick.bmp", false},
        {"skin", "wall1", "wall1.bmp", false},
        {"skin", "", ".bmp", false},
        {"skin \"brick", "", "brick.bmp", true},
        {"skin \"\"", "", "\".bmp", true},
        {"skin brick.png", "", "brick.png", false},
        {"skin textures/brick", "", "brick.bmp", false},
        {"skin a/b/brick", "", "b/brick.bmp", false},
        {"skin /brick", "", "/brick.bmp", false},
        {"skinned", "", "ned.bmp", false},
        {"skin brick // note", "", "/ note.bmp", false},
    };
    for (const SkinCase& c : cases) {
        SkinReference skin = TakeSkinReference(c.work, c.currentName);
        EXPECT_EQ(skin.texture, c.texture) << c.work;
        EXPECT_EQ(skin.syntaxError, c.syntaxError) << c.work;
    }
}

TEST(LineRules, BitmapLinesNameTheTextureBeforeTheirFirstBmp) {
    const TextCase cases[] = {
        {"texture \"walls/brick.bmp\" 0 0", "brick.bmp"},
        {"\"brick.bmp\"", "brick.bmp"},
        {"texture brick.bmp", "exture brick.bmp"},
        {"x.bmp and y.bmp", ".bmp"},
        {"a\"b\"c.bmp", "c.bmp"},
        {".bmp first", ""},
        {"no texture here", ""},
    };
    for (const TextCase& c : cases) EXPECT_EQ(TakeBitmapReference(c.input), c.expected) << c.input;
}

TEST(LineRules, ComponentReferences) {
    struct ComponentCase {
        const char* kept;
        const char* reference;
    };
    const ComponentCase cases[] = {
        {"include 0 0 0 Tree", "tree"},
        {"include 1.5 -2 0.25 Tree", "tree"},
        {"wheel 0 0 0 1 1 WheelA", "wheela"},
        {"WHEEL 0 0 0 1 1 WheelA", "wheela"},
        {"include 0 0 0 1 1 WheelA", "1 1 wheela"},
        {"include 0:0:0 Tree", "tree"},
        {"include 0/0/0 Tree", "tree"},
        {"include 0 0 0 [d3d]Tree", "tree"},
        {"include 0 0 0 Tree[left]", "tree"},
        {"include 0 0 0 =Tree", "tree"},
        {"include 0 0 0 Tree=2", "tree2"},
        {"include 0 0 0 Tree[LEFT]", "tree"},  // the tags are removed after lower-casing
        {"include 0 0 0 Tree // big one", "tree"},
        {"include 0 0 0 Tree # big one", "tree"},
        {"include 0 0 0 [lod2] Tree", "tree"},
        {"include 0 0 0 <500 Tree", "tree"},
        {"include 0 0 0 >500 Tree", "tree"},
        {"include 0 0 0 <500.5 Tree", "tree"},
        {"include 0 0 0 !Tree", "tree"},
        {"include 0 0 0 ?Tree", "tree"},
        {"include 0 0 0 !?Tree", "tree"},
        {"include 0 0 0 ?!Tree", "!tree"},
        {"include 0 0 0 ! Tree", " tree"},
        {"door 0 0 0 Door1", "door1"},
        {"Bogie 1 2 3 BogieB", "bogieb"},
        {"include 0 0 0", ""},
        {"includewheel 0 0 0 Tree", "tree"},
        {"include 0 0 0 Mast A Arm", "mast a arm"},
    };
    for (const ComponentCase& c : cases) {
        std::string work = text::ToLower(c.kept);
        EXPECT_EQ(TakeComponentReference(work, c.kept), c.reference) << c.kept;
    }
}

}  // namespace
}  // namespace corvane
