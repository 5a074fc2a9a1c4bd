// Undoing delete commands: one after the other, over whatever stands in a
// library file's place by then, and never from a backup that is not whole.
#include "cleanup/restore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/backup_tree.h"
#include "cleanup/delete_older.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using platform::EntryKind;
using testing::CrLf;
using testing::TempLibrary;
using testing::TreeOf;

const std::string kTwoItems = CrLf({"name coach", "[end]", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});

void Delete(const TempLibrary& library, std::vector<std::pair<const char*, const char*>> items) {
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    for (auto [name, file] : items) remover.RemoveItem(name, file);
    remover.Commit();
}

TEST(Restore, UndoesDeleteCommandsOneAfterTheOther) {
    TempLibrary library;
    library.Write("Stock/abc.stk", CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"}),
                  "2014-05-06 07:08");
    ASSERT_EQ(::chmod(library.Path("Stock/abc.stk").c_str(), 0640), 0);
    library.Write("Stock/b.stk", CrLf({"name b", "[end]"}), "2015-05-06 07:08");
    const testing::Tree beforeFirst = TreeOf(library.Root(), true);
    Delete(library, {{"a", "Stock/abc.stk"}});
    // An older time than the second command's rewrite can have.
    struct timespec times[2] = {{0, UTIME_OMIT}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, library.Path("Stock/abc.stk").c_str(), times, 0), 0);
    const testing::Tree beforeSecond = TreeOf(library.Root(), true);
    Delete(library, {{"b", "Stock/abc.stk"}, {"b", "Stock/b.stk"}});
    ASSERT_NE(TreeOf(library.Root(), true), beforeSecond);

    RestoreResult second = RestoreLatestDelete(library.Root());
    EXPECT_EQ(TreeOf(library.Root(), true), beforeSecond);
    EXPECT_EQ(second.files.size(), 2u);
    RestoreResult first = RestoreLatestDelete(library.Root());
    EXPECT_EQ(TreeOf(library.Root(), true), beforeFirst);
    EXPECT_TRUE(CommandBefore(first.deleteId, second.deleteId));
    EXPECT_EQ(
        DescribeRestore(first),
        (std::vector<std::string>{
            "Undid the delete command " + first.deleteId + " (backup/delete-" + first.deleteId +
                ".log)",
            "Restored Stock/abc.stk from backup/Stock/abc.stk." + first.deleteId +
                "; the file the delete left is kept as backup/Stock/abc.stk." + first.restoreId,
            "Log: backup/restore-" + first.restoreId + ".log"}));
}

TEST(Restore, KeepsWhateverStandsInTheFilesPlace) {
    enum class Put { kEdited, kRemoved, kLink, kFifo, kFolder };
    struct Case {
        const char* what;
        const char* file;  // Stock/two.stk was rewritten, Stock/only.stk removed
        Put put;
        Stood stood;
        EntryKind kept;  // what stands at the kept name afterwards
    };
    const Case cases[] = {
        {"an edited file", "Stock/two.stk", Put::kEdited, Stood::kEdited, EntryKind::kFile},
        {"a file since removed", "Stock/two.stk", Put::kRemoved, Stood::kNothing,
         EntryKind::kMissing},
        {"a link", "Stock/two.stk", Put::kLink, Stood::kOther, EntryKind::kLink},
        {"a FIFO", "Stock/two.stk", Put::kFifo, Stood::kOther, EntryKind::kOther},
        {"a new file where a removed one was", "Stock/only.stk", Put::kEdited, Stood::kEdited,
         EntryKind::kFile},
        {"a folder", "Stock/two.stk", Put::kFolder, Stood::kAsLeft, EntryKind::kMissing},
    };
    platform::FileSystem& fs = platform::RealFileSystem();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempLibrary library;
        library.Write("Stock/two.stk", kTwoItems, "2016-01-02 03:04");
        library.Write("Stock/only.stk", kOnlyCoach, "2016-01-02 03:04");
        library.Write("outside", "outside");
        const testing::Tree before = TreeOf(library.Root(), true);
        Delete(library, {{"coach", "Stock/two.stk"}, {"coach", "Stock/only.stk"}});
        const std::string path = library.Path(c.file);
        ::unlink(path.c_str());
        if (c.put == Put::kEdited) library.Write(c.file, "edited");
        if (c.put == Put::kLink) {
            ASSERT_EQ(::symlink(library.Path("outside").c_str(), path.c_str()), 0);
        }
        if (c.put == Put::kFifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        }
        if (c.put == Put::kFolder) library.MakeFolder(c.file);
        const testing::Tree standing = TreeOf(library.Root(), false);

        if (c.put == Put::kFolder) {
            EXPECT_THROW(RestoreLatestDelete(library.Root()), platform::FileError);
            EXPECT_EQ(TreeOf(library.Root(), false), standing);
            continue;
        }
        RestoreResult result = RestoreLatestDelete(library.Root());
        EXPECT_EQ(TreeOf(library.Root(), true), before);
        EXPECT_EQ(library.Read("outside"), "outside");
        ASSERT_EQ(result.files.size(), 2u);
        const RestoreLog::File& file = result.files[c.file == std::string("Stock/two.stk") ? 0 : 1];
        EXPECT_EQ(file.stood, c.stood);
        EXPECT_EQ(file.keptAs.empty(), c.kept == EntryKind::kMissing);
        if (c.kept == EntryKind::kMissing) continue;
        EXPECT_EQ(file.keptAs, BackupTree::BackupOf(c.file) + "." + result.restoreId);
        EXPECT_EQ(fs.KindOfEntry(library.Path(file.keptAs)), c.kept);
        if (c.kept == EntryKind::kFile) {
            EXPECT_EQ(library.Read(file.keptAs), "edited");
        }
    }
}

TEST(Restore, RefusesBackupsThatAreNotWholeAndLogsThatLeadOutside) {
    struct Case {
        const char* what;
        std::string backup;   // what backup/Stock/two.stk then holds ("" none)
        std::string fakeLog;  // a log put in the backup folder, newer than the real one
        bool fails;
    };
    const std::string outside = "../../outside";
    const Case cases[] = {
        {"a backup changed since", "changed", "", true},
        {"no backup", "", "", true},
        {"a log leading out of the library", kTwoItems,
         "Corvane delete 29990101T000000Z\nremoved\t" + outside + "\tbackup/x\t0\n", false},
        {"a log whose backup lies outside", kTwoItems,
         "Corvane delete 29990101T000000Z\nremoved\tStock/x.stk\tbackup/../../outside\t0\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempLibrary library;
        library.Write("Stock/two.stk", kTwoItems);
        Delete(library, {{"coach", "Stock/two.stk"}});
        ::unlink(library.Path("backup/Stock/two.stk").c_str());
        if (!c.backup.empty()) library.Write("backup/Stock/two.stk", c.backup);
        if (!c.fakeLog.empty()) library.Write("backup/delete-29990101T000000Z.log", c.fakeLog);
        const testing::Tree standing = TreeOf(library.Root(), false);
        if (c.fails) {
            EXPECT_THROW(RestoreLatestDelete(library.Root()), platform::FileError);
            EXPECT_EQ(TreeOf(library.Root(), false), standing);
        } else {
            EXPECT_EQ(library.Read("Stock/two.stk"), CrLf({"", "name wagon", "[end]"}));
            RestoreLatestDelete(library.Root());
            EXPECT_EQ(library.Read("Stock/two.stk"), kTwoItems);
        }
    }
}

}  // namespace
}  // namespace corvane
