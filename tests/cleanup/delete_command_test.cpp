// The Delete older items command: its countdown, its status line and where
// it stops on an error.
#include <gtest/gtest.h>

#include "cleanup/delete_older.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::Native;
using testing::ProgressEvent;
using testing::RecordingProgress;
using testing::TempLibrary;

// A library of Stock/a.stk (items a, b) and Stock/c.stk (item c), with the
// given entries queued.
struct Queued {
    TempLibrary library;
    CheckState state;
    RecordingProgress progress;
    explicit Queued(std::vector<std::pair<const char*, const char*>> entries) {
        library.Write("Stock/a.stk", CrLf({"name a", "[end]", "name b", "[end]"}));
        library.Write("Stock/c.stk", CrLf({"name c", "[end]"}));
        state.m_LibraryRoot = library.Root();
        for (auto [name, file] : entries) {
            state.m_OlderNames.push_back(name);
            state.m_OlderFiles.push_back(Native(file));
        }
    }
};

TEST(DeleteOlderItems, CountsDownAndNamesEachEntry) {
    Queued q({{"a", "Stock/a.stk"}, {"b", "Stock/a.stk"}, {"c", "Stock/c.stk"}});
    auto& [library, state, progress] = q;
    DeleteOlderItems(state, progress);

    using E = ProgressEvent;
    const std::vector<ProgressEvent> expected = {
        {E::kStatus, Native("a in Stock/a.stk")},
        {E::kRefresh, Native("a in Stock/a.stk")},
        {E::kLabel, "Delete 2 older items"},
        {E::kEnable, ""},
        {E::kRefresh, Native("a in Stock/a.stk")},
        {E::kStatus, Native("b in Stock/a.stk")},
        {E::kRefresh, Native("b in Stock/a.stk")},
        {E::kLabel, "Delete 1 older items"},
        {E::kEnable, ""},
        {E::kRefresh, Native("b in Stock/a.stk")},
        {E::kStatus, Native("c in Stock/c.stk")},
        {E::kRefresh, Native("c in Stock/c.stk")},
        {E::kLabel, "Delete 0 older items"},
        {E::kEnable, ""},
        {E::kRefresh, Native("c in Stock/c.stk")},
        {E::kDisable, ""},
        {E::kStatus, "Finished"},
        {E::kRefresh, "Finished"},
    };
    EXPECT_EQ(progress.m_Events, expected);
    EXPECT_TRUE(state.m_OlderNames.empty() && state.m_OlderFiles.empty());
    EXPECT_FALSE(library.Exists("Stock/a.stk"));
    EXPECT_FALSE(library.Exists("Stock/c.stk"));
    EXPECT_EQ(library.Read("backup/Stock/a.stk"), CrLf({"name a", "[end]", "name b", "[end]"}));
}

TEST(DeleteOlderItems, NothingQueuedTouchesNoFile) {
    Queued q({});
    auto& [library, state, progress] = q;
    progress.m_Label = "Delete 0 older items";
    DeleteOlderItems(state, progress);
    using E = ProgressEvent;
    EXPECT_EQ(progress.m_Events,
              (std::vector<ProgressEvent>{
                  {E::kDisable, ""}, {E::kStatus, "Finished"}, {E::kRefresh, "Finished"}}));
    EXPECT_EQ(progress.m_Label, "Delete 0 older items");
    EXPECT_EQ(library.Files(), (std::vector<std::string>{"Stock/a.stk", "Stock/c.stk"}));
}

TEST(DeleteOlderItems, AnErrorEndsTheCommandAtItsEntry) {
    Queued q({{"a", "Stock/a.stk"}, {"b", "Stock/gone.stk"}, {"c", "Stock/c.stk"}});
    auto& [library, state, progress] = q;
    try {
        DeleteOlderItems(state, progress);
        FAIL();
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), library.Path("Stock/gone.stk"));
    }
    EXPECT_EQ(progress.m_Status, Native("b in Stock/gone.stk"));
    EXPECT_EQ(progress.m_Label, "Delete 2 older items");
    EXPECT_TRUE(progress.m_Enabled);
    EXPECT_EQ(state.m_OlderNames, std::deque<std::string>{"c"});
    EXPECT_TRUE(library.Exists("Stock/c.stk"));
}

}  // namespace
}  // namespace corvane
