// Delete and undo as a pair, on the real disk of either system: whatever
// happens to the library, its backups and its logs between and during the
// two commands, undo gives back what it can, names the rest, never writes
// outside the library and never loses a file; and the logs it reads.
#include "cleanup/restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>

#include "cleanup/backup_tree.h"
#include "cleanup/command_log.h"
#include "commands/commands.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using platform::EntryKind;
using testing::CrLf;
using testing::FaultyFileSystem;
using testing::Tree;

const std::string kTwoItems = CrLf({"name coach", "[end]", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});
const std::string kUnknown = "a backup of unknown origin";

// A library with an older coach in Stock/Coaches/two.stk (which keeps its
// wagon) and in Stock/only.stk (which leaves), and a folder "outside" that
// stands for what lies beyond the library.
struct Library {
    testing::TempLibrary lib;
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
        return testing::Delete(lib.Root(), older, fs);
    }
    RestoreResult Restore(platform::FileSystem& fs = platform::RealFileSystem()) {
        return testing::Restore(lib.Root(), fs);
    }
    // A link at link to a folder outside; false where the system makes none.
    bool LinkOut(const std::string& outside, const std::string& link) {
        lib.MakeFolder(outside);
        return testing::MakeLink(lib.Path(outside), lib.Path(link), true);
    }
    // The one delete a restore undid failed to put back one file, for reason.
    static void FailedOnce(const RestoreResult& r, const char* reason) {
        ASSERT_EQ(r.deletes.size(), 1u);
        ASSERT_EQ(r.deletes[0].failed.size(), 1u);
        EXPECT_NE(r.deletes[0].failed[0].reason.find(reason), std::string::npos);
    }
};

TEST(Undo, WhateverHappensBetweenAndDuringTheCommandsNothingIsLost) {
    enum Scene {
        kNothing,
        kFolderGone,
        kFarFutureLog,
        kLogCut,
        kForgedLogs,
        kEdit,
        kSecondCommand,
        kFolderLinkedOut,
        kForgedThroughLink,
        kBackupLinkedOut,
        kHugeBackup
    };
    // What the tree is once the restore is over: as before the delete, as
    // after it, or as the scene's own checks say.
    enum After { kOriginal, kAsDeleted, kCustom };
    struct Scenario {
        Scene scene;
        const char* what;
        bool deleteFails, restoreFails;
        After after;
        size_t refused;      // logs refused
        const char* failed;  // why the one file not put back was not, if one was not
    };
    // "\" separates folders on Windows only.
    const size_t forged = platform::kSeparator == '\\' ? 2 : 1;
    const Scenario scenarios[] = {
        {kNothing, "nothing in the way", false, false, kOriginal, 0, nullptr},
        {kFolderGone, "a folder removed since the delete", false, false, kOriginal, 0, nullptr},
        {kFarFutureLog, "a far-future log planted before", false, true, kOriginal, 1, nullptr},
        {kLogCut, "the log cut short", false, true, kAsDeleted, 1, nullptr},
        {kForgedLogs, "newer forged logs leading out", false, true, kCustom, forged, nullptr},
        {kEdit, "an edit just before the file is replaced", true, false, kCustom, 0, nullptr},
        {kSecondCommand, "another command during the delete", false, false, kOriginal, 0, nullptr},
        {kFolderLinkedOut, "a folder replaced by a link out", false, true, kCustom, 0, "link"},
        {kForgedThroughLink, "a forged log through a link out", false, true, kAsDeleted, 0, "link"},
        {kBackupLinkedOut, "the backup folder a link out", true, true, kOriginal, 0, nullptr},
        {kHugeBackup, "a huge file in place of a backup", false, true, kCustom, 0, ""},
    };
    const std::string planted = "backup/delete-99991231T235959Z-999999999.log";
    const std::string two = "Stock/Coaches/two.stk";
    // A log of a delete with id that removed the file named, kept as backup.
    auto forge = [](Library& l, const std::string& id, const std::string& file,
                    const std::string& backup, const std::string& bytes) {
        l.lib.Write("backup/delete-" + id + ".log",
                    "Corvane delete " + id + "\nremoved\t" + file + "\t" + backup + "\t" +
                        std::to_string(bytes.size()) + "\t" + ContentHash(bytes) + "\nend\n");
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        Library l;
        bool set = true;  // false: the system makes no links here
        if (s.scene == kFarFutureLog)
            l.lib.Write(planted, "Corvane delete 99991231T235959Z-999999999\n");
        if (s.scene == kForgedThroughLink) set = l.LinkOut("outside/esc", "Stock/esc");
        if (s.scene == kBackupLinkedOut) set = l.LinkOut("outside/backup", "backup");
        const Tree before = l.Now(), outside = testing::TreeOf(l.lib.Path("outside"), false);
        FaultyFileSystem watched([&](const std::string& what, const std::string& path) {
            if (s.scene == kEdit && what == "replace" && path == l.lib.Path(two)) {
                l.lib.Write(two, kTwoItems + "edited");
            }
            if (s.scene == kSecondCommand && what == "replace") {
                EXPECT_THROW(LibraryLock{l.lib.Root()}, LibraryBusy);
            }
        });
        const DeleteResult d = l.Delete(watched);
        EXPECT_EQ(d.Failed(), s.deleteFails);
        const Tree afterDelete = l.Now();

        if (s.scene == kFolderGone) std::filesystem::remove_all(l.lib.Path("Stock/Coaches"));
        if (s.scene == kLogCut) {
            for (const std::string& log : l.lib.Files()) {
                if (!log.starts_with("backup/delete-")) continue;
                const std::string bytes = l.lib.Read(log);
                l.lib.Write(log, bytes.substr(0, bytes.size() * 3 / 4));
            }
        }
        if (s.scene == kForgedLogs) {
            forge(l, "29990101T000001Z", "../outside/victim", "backup/x", "x");
            forge(l, "29990101T000000Z", "Stock\\..\\..\\outside\\victim", "backup/x", "x");
        }
        if (s.scene == kFolderLinkedOut) {
            std::filesystem::remove_all(l.lib.Path("Stock/Coaches"));
            set = l.LinkOut("outside/Coaches", "Stock/Coaches");
        }
        if (s.scene == kForgedThroughLink) {
            // Its backup is whole, as the log says: only the link stands in the way.
            l.lib.Write("backup/Stock/esc/passwd", "evil");
            forge(l, "29990101T000000Z", "Stock/esc/passwd", "backup/Stock/esc/passwd", "evil");
        }
        if (s.scene == kHugeBackup) {
            std::filesystem::resize_file(l.lib.Path("backup/Stock/only.stk"), 3ull << 30);
        }
        if (!set) {
            std::cout << "[ SKIPPED  ] " << s.what << ": the system makes no links here\n";
            continue;
        }
        const long peak = testing::PeakKiB();
        const RestoreResult r = l.Restore();
        EXPECT_LT(testing::PeakKiB() - peak, 64 << 10) << "KiB more memory at the peak";
        EXPECT_EQ(r.Failed(), s.restoreFails) << testing::Join(DescribeRestore(r));
        if (s.after != kCustom) {
            EXPECT_EQ(l.Now(), s.after == kOriginal ? before : afterDelete);
        }
        EXPECT_EQ(r.refused.size(), s.refused);
        if (s.failed) Library::FailedOnce(r, s.failed);
        // Nothing written or removed outside the library.
        EXPECT_EQ(testing::TreeOf(l.lib.Path("outside"), false), outside);
        EXPECT_EQ(testing::Leftovers(l.lib.Root()), std::vector<std::string>{});

        if (s.scene == kFarFutureLog) {
            EXPECT_TRUE(CommandBefore(d.id, "29990101T000000Z")) << d.id;
            EXPECT_EQ(r.refused.at(0).first, testing::Native(planted));
        }
        if (s.scene == kForgedLogs) {
            EXPECT_FALSE(r.deletes.empty());
        }
        if (s.scene == kEdit) {
            // The edit is kept, the file and its item named and left in.
            ASSERT_EQ(d.problems.size(), 1u);
            EXPECT_NE(d.problems[0].find(l.lib.Path(two)), std::string::npos);
            EXPECT_EQ(d.notRemoved, std::vector<OlderItem>{l.older[0]});
            Tree expected = l.original;
            expected[two] = {kTwoItems + "edited", expected[two].mode, l.Now().at(two).mtime};
            EXPECT_EQ(l.Now(), expected);
        }
        if (s.scene == kFolderLinkedOut) {
            EXPECT_EQ(l.lib.Read("Stock/only.stk"), kOnlyCoach);
        }
        if (s.scene == kBackupLinkedOut) {
            EXPECT_NE(d.problems.at(0).find(l.lib.Path("backup")), std::string::npos);
            EXPECT_NE(r.failure.find(l.lib.Path("backup")), std::string::npos);
        }
        if (s.scene == kHugeBackup) {
            EXPECT_EQ(l.lib.Read(two), kTwoItems);
        }
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
                l.lib.Write("backup/Stock/only.stk", kUnknown);
                if (inRestore) l.Delete();
                FaultyFileSystem fs(at, mode);
                completed =
                    !(inRestore ? l.Restore(fs).Failed() : l.Delete(fs).Failed()) && !fs.Reached();
                // Every library file holds its bytes from before the delete
                // or from after it, whatever the step.
                EXPECT_EQ(testing::Torn(l.Now(), l.original, deleted), std::vector<std::string>{});
                // The next command removes what the killed one left, and the
                // restores that follow give back the library as it was.
                RestoreResult restored = l.Restore();
                for (int more = 0; more < 3 && !restored.deletes.empty(); ++more) {
                    restored = l.Restore();
                }
                EXPECT_FALSE(restored.Failed()) << testing::Join(DescribeRestore(restored));
                EXPECT_EQ(l.Now(), l.original);
                EXPECT_EQ(testing::Leftovers(l.lib.Root()), std::vector<std::string>{});
                // No backup is lost, whoever made it.
                EXPECT_TRUE(std::ranges::any_of(testing::TreeOf(l.lib.Root(), false), [](auto& f) {
                    return f.first.starts_with("backup/") && f.second.bytes == kUnknown;
                }));
                if (HasFailure()) return;
            }
        }
    }
}

// Each delete keeps its backups under their plain names and moves the ones
// before aside, never replacing one; the restores give each version back.
TEST(Undo, DeletesAreUndoneOneAfterTheOtherWhateverTheLengthOfTheirPaths) {
    // Folders of 200 bytes, as many as take the path near the system's limit.
    auto deep = [](size_t length) {
        std::string path = "Stock";
        while (path.size() + 201 < length) path += "/" + std::string(200, 'd');
        return path;
    };
    const std::pair<std::string, std::string> rows[] = {
        {"Stock/Coaches", "abc.stk"},
        {"Stock", std::string(251, 'n') + ".stk"},  // a name as long as names may be
#ifdef _WIN32
        {deep(400), "abc.stk"},  // beyond MAX_PATH
#endif
        {deep(4000), "abc.stk"},  // near the longest path the system opens
    };
    for (const auto& [folder, name] : rows) {
        SCOPED_TRACE(folder.size() + name.size());
        testing::TempLibrary lib;
        const std::string file = folder + "/" + name;
        testing::Put(lib.Root(), file, CrLf({"name a", "[end]", "name b", "[end]", "name c"}));
        testing::SetStamp(lib.Path(file), "2014-05-06 07:08");
        testing::Put(lib.Root(), "backup/" + file, kUnknown);
        auto state = [&](const std::string& relative) {
            std::string bytes;
            platform::FileAttributes now =
                platform::RealFileSystem().ReadFileWithAttributes(lib.Path(relative), bytes);
            return std::pair(bytes, now.lastWriteSeconds);
        };
        auto remove = [&](const char* item) {
            DeleteResult result = testing::Delete(lib.Root(), {{item, testing::Native(file)}});
            EXPECT_FALSE(result.Failed()) << testing::Join(result.problems);
            return result.id;
        };
        auto restore = [&] { return testing::Restore(lib.Root()).Failed(); };
        const auto first = state(file);
        const std::string firstId = remove("a");
        const auto second = state(file);
        const std::string secondId = remove("b");
        EXPECT_TRUE(CommandBefore(firstId, secondId));
        // The backup found there is kept aside, named after the command that
        // moved it, since no log names its maker; the first delete's moves
        // under a folder named after that delete.
        EXPECT_EQ(state("backup/earlier-" + firstId + "/" + file).first, kUnknown);
        EXPECT_EQ(state(BackupTree::KeptOf(firstId, file)), first);
        EXPECT_EQ(state("backup/" + file), second);
        EXPECT_FALSE(restore());
        EXPECT_EQ(state(file), second);
        EXPECT_FALSE(restore());
        EXPECT_EQ(state(file), first);
    }
}

TEST(Undo, WhatStandsInTheFilesPlaceIsKept) {
    struct Case {
        const char* file;  // Stock/Coaches/two.stk was rewritten, Stock/only.stk removed
        EntryKind put;     // what is put in its place after the delete, and kept aside
        Standing standing;
    };
    const Case cases[] = {
        {"Stock/Coaches/two.stk", EntryKind::kFile, Standing::kEdited},
        {"Stock/Coaches/two.stk", EntryKind::kMissing, Standing::kNothing},
        {"Stock/Coaches/two.stk", EntryKind::kLink, Standing::kOther},
        {"Stock/Coaches/two.stk", EntryKind::kFolder, Standing::kAsLeft},  // not put back
        {"Stock/only.stk", EntryKind::kFile, Standing::kEdited},           // a new file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(int(c.put)));
        Library l;
        l.Delete();
        std::filesystem::remove(l.lib.Path(c.file));
        if (c.put == EntryKind::kFile) l.lib.Write(c.file, "edited");
        if (c.put == EntryKind::kFolder) l.lib.MakeFolder(c.file);
        if (c.put == EntryKind::kLink &&
            !testing::MakeLink(l.lib.Path("outside/victim"), l.lib.Path(c.file), false)) {
            continue;  // no links on this system
        }

        RestoreResult result = l.Restore();
        if (c.put == EntryKind::kFolder) {
            Library::FailedOnce(result, "folder");
            continue;
        }
        EXPECT_FALSE(result.Failed()) << testing::Join(DescribeRestore(result));
        EXPECT_EQ(l.Now(), l.original);  // outside/victim, where the link leads, too
        ASSERT_EQ(result.deletes.size(), 1u);
        const UndoneDelete& undone = result.deletes[0];
        const RestoreLog::File& file = undone.files[std::string_view(c.file) == "Stock/only.stk"];
        EXPECT_EQ(file.standing, c.standing);
        const bool kept = c.put != EntryKind::kMissing;
        EXPECT_EQ(file.keptAs, kept ? BackupTree::KeptOf(undone.restoreId, c.file) : "");
        if (!kept) continue;
        EXPECT_EQ(platform::RealFileSystem().KindOfEntry(l.lib.Path(file.keptAs)), c.put);
        if (c.put == EntryKind::kFile) {
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
        std::filesystem::rename(l.lib.Path(backup), l.lib.Path("saved"));
        Library::FailedOnce(l.Restore(), "");
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
        EXPECT_FALSE(NextUndo(l.lib.Root()));
        EXPECT_EQ(DescribeRestore(l.Restore()), std::vector<std::string>{"Nothing to undo."});
    }
}

// The command logs read back as they were written, whatever bytes the
// library's names hold; what is not a whole log of ours is refused; command
// ids keep the order of their commands.
TEST(CommandLog, ReadsBackWhatItWrote) {
    using namespace std::string_literals;
    // No NUL in a name, and on Windows neither "\" nor a control character.
#ifdef _WIN32
    const std::string odd = "caf\xc3\xa9 \xff end";
#else
    const std::string odd = "tab\there\nline\rcr\\back\\t \xff end";
#endif
    const std::string name = odd + "\0"s;
    const std::string hash = ContentHash("a");
    DeleteLog deleted{
        "20240229T235959Z-12",
        {{"coach", "Stock/a.stk"}, {name, "Stock/" + odd + ".stk"}},
        {{"Stock/a.stk", false, "backup/Stock/a.stk", 1, hash, ContentHash("b")},
         {"Stock/" + odd + ".stk", true, "backup/Stock/" + odd + ".stk", 12345, hash, ""}},
        {{"backup/Stock/a.stk", "backup/20240101T000000Z/Stock/a.stk"}},
        {{"Stock/b.stk", "it changed\tsince"}}};
    EXPECT_EQ(ParseDeleteLog(FormatLog(deleted)), deleted);

    RestoreLog restored{
        "20240301T000000Z", deleted.id, {}, {{"Stock/c.stk", "no\nbackup"}}, true, true};
    for (size_t i = 0; i < std::size(kStandingWords); ++i) {
        restored.files.push_back(
            {"Stock/" + odd, "backup/x", i % 2 ? "" : "backup/y", Standing(i)});
    }
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);
    restored.done = restored.passedOver = false;
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);

    const std::vector<std::string> targets = {"Stock/" + odd, "backup/delete-x.log"};
    EXPECT_EQ(ParseTemporaries(FormatTemporaries("abcdefgh", targets)),
              std::pair(std::string("abcdefgh"), targets));
}

TEST(CommandLog, RefusesWhatIsNotAWholeLogOfOurs) {
    const std::string hash = "0123456789abcdef";
    const std::string head = "Corvane delete 20240101T000000Z\n";
    const std::string removed = "removed\tStock/x\tbackup/x\t1\t" + hash + "\n";
    const std::string refused[] = {
        "",
        "Corvane delete yesterday\nend\n",
        "Corvane delete 20240101T000000Z-1\nend\n",
        "Corvane restore 20240101T000000Z\nend\n",
        head,                      // no end line
        head + removed,            // no end line
        head + removed + "end",    // cut short
        head + "end\n" + removed,  // a line after the end
        head + "whatever\nend\n",  // a line it cannot read
        head + "removed\t/etc/passwd\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock/../../x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock//x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock/x\tbackup/x\tmany\t" + hash + "\nend\n",
        head + "changed\tStock/x\tStock/x\t1\t" + hash + "\t" + hash + "\nend\n",
        head + "changed\tStock/x\tbackup/../x\t1\t" + hash + "\t" + hash + "\nend\n",
#ifdef _WIN32
        // "\" and ":" separate or name drives on Windows, however a log spells them.
        head + "removed\tStock\\..\\..\\x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tC:/x\tbackup/x\t1\t" + hash + "\nend\n",
#endif
    };
    for (const std::string& text : refused) {
        std::string why;
        EXPECT_FALSE(ParseDeleteLog(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
    EXPECT_TRUE(ParseDeleteLog(head + removed + "end\n"));
    EXPECT_FALSE(ParseRestoreLog("Corvane restore 20240101T000000Z of delete soon\n"));
    EXPECT_FALSE(
        ParseRestoreLog("Corvane restore 20240101T000000Z of delete "
                        "20231231T000000Z\ndone\nrestored\tStock/x\tbackup/x\t\tother\n"));
}

TEST(CommandLog, IdsFollowTheClockAndNeverRepeat) {
    EXPECT_EQ(CommandStamp(0), "19700101T000000Z");
    EXPECT_EQ(CommandStamp(951868799), "20000229T235959Z");
    EXPECT_EQ(CommandTime("20000229T235959Z-3"), 951868799);
    // The latest id, the time now, and the id after ("" when none follows).
    const char* const cases[][3] = {
        {"", "20240101T000000Z", "20240101T000000Z"},
        {"20231231T235959Z", "20240101T000000Z", "20240101T000000Z"},
        {"20240101T000000Z", "20240101T000000Z", "20240101T000000Z-2"},
        {"20240101T000000Z-9", "20240101T000000Z", "20240101T000000Z-10"},
        {"20250101T000000Z", "20240101T000000Z", "20250101T000000Z-2"},  // the clock went back
        {"99991231T235959Z-999999999", "20240101T000000Z", ""},
    };
    for (const auto& [latest, stamp, next] : cases) {
        EXPECT_EQ(CommandIdAfter(latest, stamp), next) << latest;
        if (*latest && *next) {
            EXPECT_TRUE(CommandBefore(latest, next)) << latest;
        }
    }
}

// Every cleanup suite runs on both systems: one built out on either shows here.
TEST(CleanupSuites, EveryOneRunsOnThisSystem) {
    std::set<std::string> suites;
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    for (int i = 0; i < tests.total_test_suite_count(); ++i) {
        suites.insert(tests.GetTestSuite(i)->name());
    }
    EXPECT_EQ(suites, (std::set<std::string>{"CleanupSuites", "CommandLog", "CopyWithoutItem",
                                             "RemoveItem", "Undo"}));
}

}  // namespace
}  // namespace corvane
