// The Delete older items command: what it shows and reports for each item,
// and where it stops on an error.
#include <gtest/gtest.h>

#include "cleanup/delete_older.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::Native;
using testing::RecordingProgress;
using testing::TempLibrary;
using Removed = std::vector<std::pair<OlderItem, size_t>>;

// A library of Stock/a.stk (items a, b) and Stock/c.stk (item c).
struct Library {
    TempLibrary library;
    RecordingProgress progress;
    Library() {
        library.Write("Stock/a.stk", CrLf({"name a", "[end]", "name b", "[end]"}));
        library.Write("Stock/c.stk", CrLf({"name c", "[end]"}));
    }
    DeleteResult Delete(const std::vector<OlderItem>& items) {
        return DeleteOlderItems(library.Root(), items, progress);
    }
};

TEST(DeleteOlderItems, ShowsEachItemAndCountsDown) {
    Library q;
    const std::vector<OlderItem> items = {
        {"a", Native("Stock/a.stk")}, {"b", Native("Stock/a.stk")}, {"c", Native("Stock/c.stk")}};
    q.Delete(items);
    EXPECT_EQ(q.progress.m_Shown,
              (std::vector<std::string>{Native("a in Stock/a.stk"), Native("b in Stock/a.stk"),
                                        Native("c in Stock/c.stk"), "Finished"}));
    EXPECT_EQ(q.progress.m_Removed, (Removed{{items[0], 2}, {items[1], 1}, {items[2], 0}}));
    EXPECT_FALSE(q.library.Exists("Stock/a.stk"));
    EXPECT_FALSE(q.library.Exists("Stock/c.stk"));
    EXPECT_EQ(q.library.Read("backup/Stock/a.stk"), CrLf({"name a", "[end]", "name b", "[end]"}));

    Library none;
    none.Delete({});
    EXPECT_EQ(none.progress.m_Shown, std::vector<std::string>{"Finished"});
    EXPECT_EQ(none.library.Files(), (std::vector<std::string>{"Stock/a.stk", "Stock/c.stk"}));
}

TEST(DeleteOlderItems, AnErrorEndsTheCommandAtItsItem) {
    Library q;
    const std::vector<OlderItem> items = {{"a", Native("Stock/a.stk")},
                                          {"b", Native("Stock/gone.stk")},
                                          {"c", Native("Stock/c.stk")}};
    const DeleteResult result = q.Delete(items);
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_NE(result.problems[0].find(q.library.Path("Stock/gone.stk")), std::string::npos);
    // The items not taken out, the failing one first.
    EXPECT_EQ(result.notRemoved, (std::vector<OlderItem>{items[1], items[2]}));
    EXPECT_EQ(q.progress.Last(), Native("b in Stock/gone.stk"));
    EXPECT_EQ(q.progress.m_Removed, (Removed{{items[0], 2}}));
    EXPECT_EQ(q.library.Read("Stock/a.stk"), CrLf({"", "name b", "[end]"}));
    EXPECT_TRUE(q.library.Exists("Stock/c.stk"));
}

}  // namespace
}  // namespace corvane
