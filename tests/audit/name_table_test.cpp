// The flat name table against a standard map, through growth and clearing.
#include "audit/name_table.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace corvane {
namespace {

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
        for (int i = 0; i < 1000; ++i) {
            std::string key = name() + "x";
            EXPECT_EQ(table.Find(key), NameTable::kNone);
        }
        table.Clear();
        model.clear();
        EXPECT_EQ(table.Find(""), NameTable::kNone);
        EXPECT_EQ(table.Size(), 0u);
    }
}

}  // namespace
}  // namespace corvane
