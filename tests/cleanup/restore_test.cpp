// Delete and undo as a pair, on the real disk of either system: whatever
// happens to the library, its backups and its logs between and during the
// two commands, undo gives back what it can, names the rest, never writes
// outside the library and never loses a file.
#include "cleanup/restore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>

#include "cleanup/backup_tree.h"
#include "commands/commands.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace corvane {
namespace {

using platform::EntryKind;
using testing::CrLf;
using testing::FaultyFileSystem;
using testing::TempLibrary;
using testing::Tree;

const std::string kTwoItems = CrLf({"name coach", "[end]", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});

// A library with an older coach in Stock/Coaches/two.stk (which keeps its
// wagon) and in Stock/only.stk (which leaves), and a folder "outside" that
// stands for what lies beyond the library.
struct Library {
    TempLibrary lib;
    std::vector<OlderItem> older = {{"coach", testing::Native("Stock/Coaches/two.stk")},
                                    {"coach", testing::Native("Stock/only.stk")}};
    Tree original;

    Library() {
        lib.Write("Stock/Coaches/two.stk", kTwoItems, "2016-01-02 03:04");
        lib.Write("Stock/only.stk", kOnlyCoach, "2016-01-02 03:04");
        lib.Write("Stock/new.stk", kOnlyCoach, "2020-01-02 03:04");
        lib.Write("outside/victim", "victim");
        original = Now();
    }
    Tree Now() const { return testing::TreeOf(lib.Root(), true); }
    DeleteResult Delete(platform::FileSystem& fs = platform::RealFileSystem()) {
        testing::RecordingProgress progress;
        return RunDeleteCommand(LibraryLock(lib.Root(), fs), older, progress);
    }
    RestoreResult Restore(platform::FileSystem& fs = platform::RealFileSystem()) {
        testing::RecordingProgress progress;
        return RunRestoreCommand(LibraryLock(lib.Root(), fs), progress);
    }
    // Files of ours left behind anywhere: temporaries and their lists.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const std::string& file : lib.Files()) {
            if (file.find(".corvane-") != std::string::npos ||
                file.find("running-") != std::string::npos) {
                found.push_back(file);
            }
        }
        return found;
    }
    std::string DeleteLog() const {
        for (const std::string& file : lib.Files()) {
            if (file.starts_with("backup/delete-")) return file;
        }
        return {};
    }
};

// What the tree should be once the scenario's restore is over.
enum class After { kOriginal, kAsDeleted, kCustom };

TEST(Undo, WhateverHappensBetweenAndDuringTheCommandsNothingIsLost) {
    struct Scenario {
        const char* what;
        std::function<bool(Library&)> before;   // false: the system cannot set the scene
        std::function<bool(Library&)> between;  // false: the system cannot set the scene
        // Runs before each step of the delete, told what and where.
        std::function<void(Library&, const std::string&, const std::string&)> during;
        bool deleteFails;
        bool restoreFails;
        After after;
        std::function<void(Library&, const DeleteResult&, const RestoreResult&)> check;
    };
    auto none = [](Library&) { return true; };
    const std::string planted = "backup/delete-99991231T235959Z-999999999.log";
    const Scenario scenarios[] = {
        {"nothing in the way", none, {}, {}, false, false, After::kOriginal, {}},
        {"a folder removed since the delete",
         none,
         [](Library& l) { return std::filesystem::remove_all(l.lib.Path("Stock/Coaches")) > 0; },
         {},
         false,
         false,
         After::kOriginal,
         {}},
        {"a far-future log planted before the delete",
         [&](Library& l) {
             l.lib.Write(planted, "Corvane delete 99991231T235959Z-999999999\n");
             return true;
         },
         {},
         {},
         false,
         true,
         After::kOriginal,
         [&](Library&, const DeleteResult& d, const RestoreResult& r) {
             EXPECT_TRUE(CommandBefore(d.id, "29990101T000000Z")) << d.id;
             ASSERT_EQ(r.refused.size(), 1u);
             EXPECT_EQ(r.refused[0].first, testing::Native(planted));
             ASSERT_EQ(r.deletes.size(), 1u);
             EXPECT_EQ(r.deletes[0].deleteId, d.id);
         }},
        {"the log cut short",
         none,
         [](Library& l) {
             const std::string log = l.DeleteLog(), bytes = l.lib.Read(log);
             l.lib.Write(log, bytes.substr(0, bytes.size() * 3 / 4));
             return true;
         },
         {},
         false,
         true,
         After::kAsDeleted,
         [](Library&, const DeleteResult&, const RestoreResult& r) {
             EXPECT_EQ(r.refused.size(), 1u);
             EXPECT_TRUE(r.deletes.empty());
         }},
        {"a newer forged log naming a path that leads out",
         none,
         [](Library& l) {
             l.lib.Write(
                 "backup/delete-29990101T000001Z.log",
                 "Corvane delete 29990101T000001Z\nremoved\t../outside/victim\tbackup/x\t1\t"
                 "0123456789abcdef\nend\n");
             l.lib.Write(
                 "backup/delete-29990101T000000Z.log",
                 "Corvane delete 29990101T000000Z\nremoved\tStock\\..\\..\\outside\\victim\t"
                 "backup/x\t1\t0123456789abcdef\nend\n");
             return true;
         },
         {},
         false,
         true,
         After::kCustom,
         [](Library& l, const DeleteResult&, const RestoreResult& r) {
#ifdef _WIN32
             EXPECT_EQ(r.refused.size(), 2u);  // "\" separates folders here
#endif
             EXPECT_GE(r.refused.size(), 1u);
             EXPECT_EQ(l.lib.Read("outside/victim"), "victim");
         }},
        {"an edit while the delete runs",
         none,
         {},
         [](Library& l, const std::string& what, const std::string& path) {
             // Just before the file's copy takes its place.
             if (what == "replace" && path == l.lib.Path("Stock/Coaches/two.stk")) {
                 l.lib.Write("Stock/Coaches/two.stk", kTwoItems + "edited");
             }
         },
         true,
         false,
         After::kCustom,
         [](Library& l, const DeleteResult& d, const RestoreResult&) {
             // The edit is kept, the file and its item named and left in.
             EXPECT_EQ(l.lib.Read("Stock/Coaches/two.stk"), kTwoItems + "edited");
             ASSERT_EQ(d.problems.size(), 1u);
             EXPECT_NE(d.problems[0].find(l.lib.Path("Stock/Coaches/two.stk")), std::string::npos);
             EXPECT_EQ(d.notRemoved, std::vector<OlderItem>{l.older[0]});
             Tree expected = l.original;
             expected["Stock/Coaches/two.stk"] = l.Now().at("Stock/Coaches/two.stk");
             EXPECT_EQ(l.Now(), expected);
         }},
        {"another command while the delete runs",
         none,
         {},
         [](Library& l, const std::string& what, const std::string&) {
             if (what == "replace") {
                 EXPECT_THROW(LibraryLock{l.lib.Root()}, LibraryBusy);
             }
         },
         false,
         false,
         After::kOriginal,
         {}},
        {"a folder replaced by a link leading out",
         none,
         [](Library& l) {
             std::filesystem::remove_all(l.lib.Path("Stock/Coaches"));
             l.lib.MakeFolder("outside/Coaches");
             return testing::MakeLink(l.lib.Path("outside/Coaches"), l.lib.Path("Stock/Coaches"),
                                      true);
         },
         {},
         false,
         true,
         After::kCustom,
         [](Library& l, const DeleteResult&, const RestoreResult& r) {
             EXPECT_TRUE(std::filesystem::is_empty(l.lib.Path("outside/Coaches")));
             ASSERT_EQ(r.deletes.size(), 1u);
             ASSERT_EQ(r.deletes[0].failed.size(), 1u);
             EXPECT_NE(r.deletes[0].failed[0].reason.find("link"), std::string::npos);
             EXPECT_EQ(l.lib.Read("Stock/only.stk"), kOnlyCoach);
         }},
        {"a forged log naming a file through a folder link that leads out",
         [](Library& l) {
             l.lib.MakeFolder("outside/esc");
             return testing::MakeLink(l.lib.Path("outside/esc"), l.lib.Path("Stock/esc"), true);
         },
         [](Library& l) {
             // Its backup is whole, as the log says: only the link stands in
             // the way.
             l.lib.Write("backup/Stock/esc/passwd", "evil");
             l.lib.Write("backup/delete-29990101T000000Z.log",
                         "Corvane delete 29990101T000000Z\nremoved\tStock/esc/passwd\t"
                         "backup/Stock/esc/passwd\t4\t" +
                             ContentHash("evil") + "\nend\n");
             return true;
         },
         {},
         false,
         true,
         After::kAsDeleted,
         [](Library& l, const DeleteResult&, const RestoreResult& r) {
             EXPECT_FALSE(l.lib.Exists("outside/esc/passwd"));
             ASSERT_EQ(r.deletes.size(), 1u);
             ASSERT_EQ(r.deletes[0].failed.size(), 1u);
             EXPECT_NE(r.deletes[0].failed[0].reason.find("link"), std::string::npos);
         }},
        {"the backup folder a link leading out",
         [](Library& l) {
             l.lib.MakeFolder("outside/backup");
             return testing::MakeLink(l.lib.Path("outside/backup"), l.lib.Path("backup"), true);
         },
         {},
         {},
         true,
         true,
         After::kOriginal,
         [](Library& l, const DeleteResult& d, const RestoreResult& r) {
             EXPECT_TRUE(std::filesystem::is_empty(l.lib.Path("outside/backup")));
             EXPECT_NE(d.problems.at(0).find(l.lib.Path("backup")), std::string::npos);
             EXPECT_NE(r.failure.find(l.lib.Path("backup")), std::string::npos);
         }},
        {"a huge file in place of a backup",
         none,
         [](Library& l) {
             std::filesystem::resize_file(l.lib.Path("backup/Stock/only.stk"), 3ull << 30);
             return true;
         },
         {},
         false,
         true,
         After::kCustom,
         [](Library& l, const DeleteResult&, const RestoreResult& r) {
             ASSERT_EQ(r.deletes.size(), 1u);
             EXPECT_EQ(r.deletes[0].failed.size(), 1u);
             EXPECT_EQ(l.lib.Read("Stock/Coaches/two.stk"), kTwoItems);
         }},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        Library l;
        if (!s.before(l)) {
            std::cout << "[ SKIPPED  ] " << s.what << ": the system makes no links here\n";
            continue;
        }
        const Tree before = l.Now();
        FaultyFileSystem watched(0, FaultyFileSystem::Mode::kHook,
                                 [&](const std::string& what, const std::string& path) {
                                     if (s.during) s.during(l, what, path);
                                 });
        const DeleteResult deleted = l.Delete(watched);
        EXPECT_EQ(deleted.Failed(), s.deleteFails);
        const Tree afterDelete = l.Now();
        if (s.between && !s.between(l)) {
            std::cout << "[ SKIPPED  ] " << s.what << ": the system makes no links here\n";
            continue;
        }
#ifndef _WIN32
        struct rusage usage;
        ::getrusage(RUSAGE_SELF, &usage);
        const long peakBefore = usage.ru_maxrss;
#endif
        const RestoreResult restored = l.Restore();
#ifndef _WIN32
        ::getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss - peakBefore, 64 << 10) << "KiB more memory at the peak";
#endif
        EXPECT_EQ(restored.Failed(), s.restoreFails) << testing::Join(DescribeRestore(restored));
        if (s.after == After::kOriginal) {
            EXPECT_EQ(l.Now(), before);
        } else if (s.after == After::kAsDeleted) {
            EXPECT_EQ(l.Now(), afterDelete);
        }
        if (s.check) s.check(l, deleted, restored);
        EXPECT_EQ(l.lib.Read("outside/victim"), "victim");
        EXPECT_EQ(l.Leftovers(), std::vector<std::string>{});
    }
}

TEST(Undo, AFaultOrAKillAnywhereLosesNothingAndTheNextCommandFinishes) {
    const Tree deleted = [] {
        Library l;
        l.Delete();
        return l.Now();
    }();
    for (bool inRestore : {false, true}) {
        for (auto mode : {FaultyFileSystem::Mode::kFail, FaultyFileSystem::Mode::kKill}) {
            bool completed = false;
            for (int at = 1; !completed; ++at) {
                SCOPED_TRACE(std::string(inRestore ? "restore" : "delete") +
                             (mode == FaultyFileSystem::Mode::kKill ? " killed" : " failing") +
                             " at operation " + std::to_string(at));
                ASSERT_LT(at, 300);
                Library l;
                l.lib.Write("backup/Stock/only.stk", "a backup of unknown origin");
                if (inRestore) l.Delete();
                FaultyFileSystem fs(at, mode);
                if (inRestore) {
                    completed = !l.Restore(fs).Failed();
                } else {
                    completed = !l.Delete(fs).Failed();
                }
                completed = completed && !fs.Reached();
                // Every library file holds its bytes from before the delete
                // or from after it, whatever the step.
                const Tree now = l.Now();
                for (const auto& [path, file] : l.original) {
                    auto bytes = [&](const Tree& tree) {
                        auto found = tree.find(path);
                        return found == tree.end() ? std::nullopt
                                                   : std::optional(found->second.bytes);
                    };
                    EXPECT_TRUE(bytes(now) == file.bytes || bytes(now) == bytes(deleted)) << path;
                }
                // The next command removes what the killed one left, and the
                // restores that follow give back the library as it was.
                RestoreResult restored = l.Restore();
                for (int more = 0; more < 3 && !restored.deletes.empty(); ++more) {
                    restored = l.Restore();
                }
                EXPECT_FALSE(restored.Failed()) << testing::Join(DescribeRestore(restored));
                EXPECT_EQ(l.Now(), l.original);
                EXPECT_EQ(l.Leftovers(), std::vector<std::string>{});
                // No backup is lost, whoever made it.
                bool kept = false;
                for (const auto& [path, file] : testing::TreeOf(l.lib.Root(), false)) {
                    kept |=
                        path.starts_with("backup/") && file.bytes == "a backup of unknown origin";
                }
                EXPECT_TRUE(kept);
                if (HasFailure()) return;
            }
        }
    }
}

TEST(Undo, DeletesAreUndoneOneAfterTheOtherWhateverTheLengthOfTheirPaths) {
    // Folders of 200 bytes, as many as take the path near the system's limit.
    auto deep = [](size_t length) {
        std::string path = "Stock";
        while (path.size() + 201 < length) path += "/" + std::string(200, 'd');
        return path;
    };
    struct Row {
        const char* what;
        std::string folder;
        std::string name;
    };
    const Row rows[] = {
        {"short names", "Stock/Coaches", "abc.stk"},
        {"a name as long as names may be", "Stock", std::string(251, 'n') + ".stk"},
#ifdef _WIN32
        {"a path beyond MAX_PATH", deep(400), "abc.stk"},
#endif
        {"a path near the longest the system opens", deep(4000), "abc.stk"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempLibrary lib;
        const std::string file = row.folder + "/" + row.name;
        testing::Put(lib.Root(), file,
                     CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"}));
        testing::SetStamp(lib.Path(file), "2014-05-06 07:08");
        std::string bytes;
        auto state = [&] {
            platform::FileAttributes now =
                platform::RealFileSystem().ReadFileWithAttributes(lib.Path(file), bytes);
            return std::pair(bytes, now.lastWriteSeconds);
        };
        auto remove = [&](const char* name) {
            testing::RecordingProgress progress;
            DeleteResult result = RunDeleteCommand(LibraryLock(lib.Root()),
                                                   {{name, testing::Native(file)}}, progress);
            EXPECT_FALSE(result.Failed()) << testing::Join(result.problems);
            return result.id;
        };
        auto restore = [&] {
            testing::RecordingProgress progress;
            RestoreResult result = RunRestoreCommand(LibraryLock(lib.Root()), progress);
            EXPECT_FALSE(result.Failed()) << testing::Join(DescribeRestore(result));
        };
        const auto first = state();
        const std::string firstId = remove("a");
        const auto second = state();
        remove("b");
        // The first delete's backup keeps its name, under a folder named
        // after the delete.
        std::unique_ptr<platform::ContainedTree> tree =
            platform::RealFileSystem().OpenTree(lib.Root());
        EXPECT_EQ(tree->KindOfEntry(BackupTree::KeptOf(firstId, file)), EntryKind::kFile);
        restore();
        EXPECT_EQ(state(), second);
        restore();
        EXPECT_EQ(state(), first);
    }
}

TEST(Undo, WhatStandsInTheFilesPlaceIsKept) {
    enum class Put { kEdited, kRemoved, kLink, kFolder };
    struct Case {
        const char* what;
        const char* file;  // Stock/Coaches/two.stk was rewritten, Stock/only.stk removed
        Put put;
        Standing standing;
        EntryKind kept;  // what stands at the kept name afterwards
    };
    const Case cases[] = {
        {"an edited file", "Stock/Coaches/two.stk", Put::kEdited, Standing::kEdited,
         EntryKind::kFile},
        {"a file since removed", "Stock/Coaches/two.stk", Put::kRemoved, Standing::kNothing,
         EntryKind::kMissing},
        {"a link", "Stock/Coaches/two.stk", Put::kLink, Standing::kOther, EntryKind::kLink},
        {"a new file where a removed one was", "Stock/only.stk", Put::kEdited, Standing::kEdited,
         EntryKind::kFile},
        {"a folder", "Stock/Coaches/two.stk", Put::kFolder, Standing::kAsLeft, EntryKind::kMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Library l;
        l.Delete();
        std::filesystem::remove(l.lib.Path(c.file));
        if (c.put == Put::kEdited) l.lib.Write(c.file, "edited");
        if (c.put == Put::kLink &&
            !testing::MakeLink(l.lib.Path("outside/victim"), l.lib.Path(c.file), false)) {
            continue;  // no links on this system
        }
        if (c.put == Put::kFolder) l.lib.MakeFolder(c.file);

        RestoreResult result = l.Restore();
        EXPECT_EQ(l.lib.Read("outside/victim"), "victim");
        if (c.put == Put::kFolder) {
            ASSERT_EQ(result.deletes.size(), 1u);
            ASSERT_EQ(result.deletes[0].failed.size(), 1u);
            EXPECT_NE(result.deletes[0].failed[0].reason.find("folder"), std::string::npos);
            continue;
        }
        EXPECT_FALSE(result.Failed()) << testing::Join(DescribeRestore(result));
        EXPECT_EQ(l.Now(), l.original);
        ASSERT_EQ(result.deletes.size(), 1u);
        const UndoneDelete& undone = result.deletes[0];
        const RestoreLog::File& file =
            undone.files[c.file == std::string("Stock/Coaches/two.stk") ? 0 : 1];
        EXPECT_EQ(file.standing, c.standing);
        EXPECT_EQ(file.keptAs.empty(), c.kept == EntryKind::kMissing);
        if (c.kept == EntryKind::kMissing) continue;
        EXPECT_EQ(file.keptAs, BackupTree::KeptOf(undone.restoreId, c.file));
        EXPECT_EQ(platform::RealFileSystem().KindOfEntry(l.lib.Path(file.keptAs)), c.kept);
        if (c.kept == EntryKind::kFile) {
            EXPECT_EQ(l.lib.Read(file.keptAs), "edited");
        }
    }
}

TEST(Undo, FilesThatCannotBePutBackAreTriedOnceMoreThenGivenUp) {
    for (bool causeGone : {true, false}) {
        SCOPED_TRACE(causeGone ? "the cause gone" : "the cause still there");
        Library l;
        l.older = {{"coach", testing::Native("Stock/Coaches/two.stk")}};
        l.Delete();
        const Tree afterFirst = l.Now();
        l.older = {{"coach", testing::Native("Stock/only.stk")}};
        l.Delete();
        // The second delete's backup goes missing for a while.
        const std::string backup = "backup/Stock/only.stk";
        const std::string saved = l.lib.Read(backup);
        std::filesystem::rename(l.lib.Path(backup), l.lib.Path("saved"));
        RestoreResult first = l.Restore();
        ASSERT_EQ(first.deletes.size(), 1u);
        EXPECT_EQ(first.deletes[0].failed.size(), 1u);
        ASSERT_TRUE(NextUndo(l.lib.Root()));
        EXPECT_TRUE(NextUndo(l.lib.Root())->retry);
        if (causeGone) std::filesystem::rename(l.lib.Path("saved"), l.lib.Path(backup));

        RestoreResult second = l.Restore();
        if (causeGone) {
            // Finished: the first delete is left for the next restore.
            EXPECT_FALSE(second.Failed()) << testing::Join(DescribeRestore(second));
            EXPECT_EQ(l.Now(), afterFirst);
            l.Restore();
            EXPECT_EQ(l.Now(), l.original);
        } else {
            // Given up, and the delete before undone in the same go.
            ASSERT_EQ(second.deletes.size(), 2u);
            EXPECT_TRUE(second.deletes[0].passedOver);
            EXPECT_TRUE(second.deletes[1].failed.empty());
            EXPECT_EQ(l.lib.Read("Stock/Coaches/two.stk"), kTwoItems);
            EXPECT_FALSE(l.lib.Exists("Stock/only.stk"));
        }
        EXPECT_FALSE(NextUndo(l.lib.Root()) && !causeGone);
        EXPECT_EQ(DescribeRestore(l.Restore()), std::vector<std::string>{"Nothing to undo."});
    }
}

}  // namespace
}  // namespace corvane
