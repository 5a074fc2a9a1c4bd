// The line scanner: what each kind of line names, and every file scanned as the plain model of the
// grammar (tests/support/reference_scan) scans it: the same events, texts, hashes and line numbers;
// the table its names go into. (Line splitting: the check run's line numbers.)
#include "audit/file_record.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <unordered_map>

#include "audit/line_rules.h"
#include "audit/name_table.h"
#include "tests/support/reference_scan.h"
#include "text/text.h"

namespace corvane {
namespace {

using namespace std::string_literals;

using Kind = FileRecord::Kind;
using Events = std::vector<std::tuple<Kind, std::string, size_t>>;

// Every line trimmed, lower-cased, sorted by ClassifyLine and taken apart by the rule of its kind;
// lines counted as LineReader splits them.
Events PlainScan(std::string_view bytes) {
    Events events;
    std::string currentItemName;
    text::LineReader reader(bytes);
    std::string_view line;
    for (size_t n = 1; reader.Next(line); ++n) {
        std::string_view kept = text::Trim(line);
        if (kept.empty()) continue;
        std::string work = text::ToLower(kept);
        switch (testing::ClassifyLine(work)) {
            case testing::LineKind::kSkin: {
                testing::SkinReference skin = testing::TakeSkinReference(work, currentItemName);
                if (skin.syntaxError) events.emplace_back(Kind::kSyntaxError, work, n);
                events.emplace_back(Kind::kTexture, skin.texture, n);
                break;
            }
            case testing::LineKind::kComponent:
                events.emplace_back(Kind::kComponent, testing::TakeComponentReference(work, kept),
                                    n);
                break;
            case testing::LineKind::kName:
                currentItemName = TakeItemName(work);
                events.emplace_back(Kind::kName, currentItemName, n);
                break;
            case testing::LineKind::kBitmap:
                events.emplace_back(Kind::kTexture, testing::TakeBitmapReference(work), n);
                break;
            default:
                break;
        }
    }
    return events;
}

Events RecordScan(ItemFileScanner& scanner, std::string_view bytes) {
    FileRecord record;
    scanner.Scan(bytes, record);
    Events events;
    for (const FileRecord::Event& event : record.Events()) {
        std::string_view text = record.Text(event);
        if (event.kind != Kind::kSyntaxError) {
            EXPECT_EQ(event.hash, NameTable::Hash(text)) << text;
        }
        events.emplace_back(event.kind, std::string(text), event.lineNumber);
    }
    return events;
}

// A file's events as text: "name coach", "component tree", "syntax skin \"x" (the line trimmed and
// lower-cased), "texture x.bmp", joined by "; ".
std::string Named(std::string_view bytes) {
    const char* kinds[] = {"name ", "component ", "syntax ", "texture "};  // by Kind
    ItemFileScanner scanner;
    std::string named;
    for (const auto& [kind, text, line] : RecordScan(scanner, bytes)) {
        named += (named.empty() ? "" : "; ") + (kinds[int(kind)] + text);
    }
    return named;
}

TEST(FileRecord, WhatEachLineNames) {
    const std::pair<const char*, const char*> lines[] = {
        // Keywords are prefixes of the trimmed line in any case, tried in order; then a line with
        // ".bmp" at 1 or later names a bitmap.
        {"# include 0 0 0 x", ""},
        {"// include 0 0 0 x", ""},
        {"/ include 0 0 0 x", ""},
        {"imperialfloat", ""},
        {"wheelbase 2.5", ""},
        {"nam", ""},
        {".bmp at the start", ""},
        {"[end]", ""},
        {"Wheel 0 0 0 1 1 WheelA", "component wheela"},
        {"door 0 0 0 d", "component d"},
        {"BOGIE 1 2 3 b", "component b"},
        {"name brick.bmp", "name brick.bmp"},
        // An item's name is cut before a "//" or "#" after its start.
        {"  Name Coach A // old comment", "name coach a"},
        {"name//x", "name //x"},
        {"name # x", "name "},
        {"nameplate 3", "name plate 3"},
        {"name a#b//c", "name a"},
        {"name   spaced   out  ", "name spaced   out"},
        // Only ASCII white space is trimmed, only ASCII letters lowered.
        {"\v\f Name \xa0X\xc9\xa0 \t", "name \xa0x\xc9\xa0"},
        // A bitmap from the last quote before its ".bmp", or the second character.
        {"texture \"walls/Brick.BMP\" 0 0", "texture brick.bmp"},
        {"texture brick.bmp", "texture exture brick.bmp"},
        {"x.bmp and y.bmp", "texture .bmp"},
        {"a\"b\"c.bmp", "texture c.bmp"},
        // A skin names a texture, by default the item's, ".bmp" added; an open or empty quote is
        // also a syntax error.
        {"skin \"brick\" 1 2 3", "texture brick.bmp"},
        {"name wall1\nskin", "name wall1; texture wall1.bmp"},
        {"skin \"brick", "syntax skin \"brick; texture brick.bmp"},
        {"skin \"\"", "syntax skin \"\"; texture \".bmp"},
        {"skin brick.png", "texture brick.png"},
        {"skin textures/brick", "texture brick.bmp"},
        {"skin a/b/brick", "texture b/brick.bmp"},
        {"skinned", "texture ned.bmp"},
        {"skin brick // note", "texture / note.bmp"},
        // A component after its keyword and three fields (wheels five), without tags such as [LEFT]
        // and the marks before it.
        {"include 1.5 -2 0.25 Tree", "component tree"},
        {"include 0 0 0 1 1 WheelA", "component 1 1 wheela"},
        {"includewheel 0 0 0 Tree", "component tree"},
        {"include 0 0 0 [d3d]Tree", "component tree"},
        {"include 0 0 0 =Tree", "component tree"},
        {"include 0 0 0 Tree=2", "component tree2"},
        {"include 0 0 0 Tree[LEFT]", "component tree"},
        {"include 0 0 0 Tree // big one", "component tree"},
        {"include 0 0 0 [lod2] Tree", "component tree"},
        {"include 0 0 0 <500.5 Tree", "component tree"},
        {"door 0:0/0\t<1/2 d", "component 2 d"},  // fields end at "/", ":" and bytes <= 32
        {"door \xe9\xe9 0 0 <\xe9 d", "component d"},
        {"door 0 0 0 <12", "component "},
        {"door 0 0 0 [d3d]a[d3d][d3d]b[d3d", "component ab[d3d"},  // tags taken out once
        {"include 0 0 0 !Tree", "component tree"},
        {"include 0 0 0 !?Tree", "component tree"},
        {"include 0 0 0 ?!Tree", "component !tree"},
        {"include 0 0 0 ! Tree", "component  tree"},
        {"include 0 0 0", "component "},
        {"include 0 0 0 Mast A Arm", "component mast a arm"},
    };
    for (const auto& [line, named] : lines) EXPECT_EQ(Named(line), named) << line;
}

// Hand-picked files, then files of pieces of every kind of line joined at random, also without
// spaces or line ends between them.
TEST(FileRecord, HandPickedAndRandomFilesScanAsThePlainScan) {
    const std::string padding(13, 'v');  // moves ".bmp" across 16-byte blocks
    const std::vector<std::string> files = {
        "",
        "\n\r\n \t\r\n",
        "name Coach_A\r\n  Skin\r\nskin \"\"\r\nskin \"Open\r\n[end]",
        "NAME X // c\r\nskin \"A b\" more\r\nSkinned T/Brick\r\nskin brick.png\r\n",
        "texture \"walls/Brick.BMP\" [d3d]\n\ttexture brick.bmp\n.bmp only\nx.BmP\n",
        padding + "\"a.bmp\"\n" + padding + "xx\".bMp\n" + padding + "..bm.bmp.bmp\r\n",
        "include 0 0 0 [D3D]Tree[Left]=2 // far\r\nwheel 0 0 0 1 1 WheelA\r\nwheelbase 3\r\n",
        "Door 0:0/0 <500 !?Door1\r\nbogie 1 2 3 [lod] ?!B # c\r\nimperialfloat\r\n",
        "# skin a\n// include 0 0 0 t\n/x.bmp\nsname\nbmp\n",
        "name a\rb\r\r\nskin\r\nname\r\nskin\r\nskin\r\n",
        "name \x80\xff\0z\r\nskin \x01.bmp\r\ninclude \0 0 0 \xc9"s,
        "no line feed at the end .bmp",
        "name n\nskin\nskin\nname m\nskin\nbitmap \"m.bmp\"\nskin\n",
    };
    ItemFileScanner scanner;
    for (const std::string& file : files) {
        EXPECT_EQ(RecordScan(scanner, file), PlainScan(file)) << file;
    }
    const std::string all =  // "|" ends each piece
        "name |NaMe\t|skin| Skin |include |Wheel |wheelbase |door |BOGIE |imperialfloat|#|//|/|"
        "texture |.bmp|.BMP|.bm|p|\"|\"\"|[d3d]|[left]|[|]|=|<5 |>|!|?|0 |1.5 |:|Tree|a/b|\\c|"
        "\r\n|\n|\r|\t| |\xe9|\0|vertex 1.0 2.0 3.0\r\n|[end]\r\n|"s;
    std::vector<std::string> pieces;
    for (size_t at = 0, bar; (bar = all.find('|', at)) != std::string::npos; at = bar + 1) {
        pieces.push_back(all.substr(at, bar - at));
    }
    std::mt19937 random(12);
    for (int file = 0; file < 3000; ++file) {
        std::string bytes;
        size_t count = random() % 60;
        for (size_t i = 0; i < count; ++i) bytes += pieces[random() % pieces.size()];
        ASSERT_EQ(RecordScan(scanner, bytes), PlainScan(bytes)) << bytes;
    }
}

TEST(FileRecord, RepeatedTexturesShareTheirText) {
    // A long item name, then empty skin lines: one copy of the texture, not one per line.
    const std::string name(1 << 16, 'n');
    std::string bytes = "name " + name + "\n";
    for (int i = 0; i < 200; ++i) bytes += "skin\n";
    ItemFileScanner scanner;
    FileRecord record;
    scanner.Scan(bytes, record);
    ASSERT_EQ(record.Events().size(), 201u);
    EXPECT_EQ(record.Text(record.Events().back()), name + ".bmp");
    EXPECT_EQ(record.Events()[1].offset, record.Events().back().offset);
}

// The flat name table against a standard map, through growth and clearing.
TEST(NameTable, AgreesWithAStandardMapThroughGrowthAndClearing) {
    std::mt19937 random(7);
    NameTable table;
    std::unordered_map<std::string, std::uint32_t> model;
    auto name = [&] {
        std::string text(random() % 12, 'a');
        for (char& c : text) c = char("ab\0\xff"[random() % 4]);
        return text;
    };
    for (int round = 0; round < 4; ++round) {
        // Round 1 grows past the size that clearing keeps; round 3 stays small.
        const int count = round == 1 ? 20000 : round == 3 ? 10 : 3000;
        for (int i = 0; i < count; ++i) {
            std::string key = name();
            std::uint32_t value = random() % 1000;
            table.Set(key, value);
            model[key] = value;
        }
        ASSERT_EQ(table.Size(), model.size());
        for (const auto& [key, value] : model) ASSERT_EQ(table.Find(key), value);
        for (int i = 0; i < 1000; ++i) EXPECT_EQ(table.Find(name() + "x"), NameTable::kNone);
        table.Clear();
        model.clear();
        EXPECT_EQ(table.Find(""), NameTable::kNone);
        EXPECT_EQ(table.Size(), 0u);
    }
}

}  // namespace
}  // namespace corvane
