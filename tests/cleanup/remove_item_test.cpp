// Removal on the disk: the backup, the replacement of the library file, and
// what is left after a failure of any single file operation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <optional>

#include "cleanup/delete_older.h"
#include "cleanup/restore.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

const std::string kTwoItems = CrLf({"name coach", "skin x", "[end]", "name wagon", "[end]"});
const std::string kWithoutCoach = CrLf({"", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});

bool HasTemporaryFile(const TempLibrary& library) {
    for (const std::string& file : library.Files()) {
        if (file.ends_with(".tmp")) return true;
    }
    return false;
}

void SetMode(const TempLibrary& library, const std::string& file, mode_t mode) {
    ASSERT_EQ(::chmod(library.Path(file).c_str(), mode), 0) << file;
}

struct stat StatOf(const TempLibrary& library, const std::string& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(library.Path(file).c_str(), &st), 0) << file;
    return st;
}

TEST(RemoveItem, BackupsKeepTheFileWholeAndRewrittenFilesKeepTheirPermissions) {
    struct Case {
        const char* file;
        std::string before;
        mode_t mode;
        bool staysInLibrary;
    };
    const Case cases[] = {
        {"Stock/two.stk", kTwoItems, 0640, true},
        {"Stock/private.stk", kTwoItems, 0600, true},
        {"Stock/odd.stk", kTwoItems, 0755, true},
        {"Stock/only.stk", kOnlyCoach, 0640, false},
    };
    TempLibrary library;
    const bool root = ::geteuid() == 0;
    for (const Case& c : cases) {
        library.Write(c.file, c.before);
        SetMode(library, c.file, c.mode);
        if (root) {
            ASSERT_EQ(::lchown(library.Path(c.file).c_str(), 4321, 8765), 0);
        }
        struct timespec times[2] = {{0, UTIME_OMIT}, {1296705900, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, library.Path(c.file).c_str(), times, 0), 0);
    }
    const std::int64_t start = std::time(nullptr);
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    for (const Case& c : cases) remover.RemoveItem("coach", c.file);
    remover.Commit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string backup = std::string("backup/") + c.file;
        struct stat saved = StatOf(library, backup);
        EXPECT_EQ(library.Read(backup), c.before);
        EXPECT_EQ(saved.st_mode & 07777, c.mode);
        EXPECT_EQ(std::pair(saved.st_mtim.tv_sec, saved.st_mtim.tv_nsec),
                  std::pair(time_t(1296705900), 123456789L));
        if (root) {
            EXPECT_EQ(std::pair(saved.st_uid, saved.st_gid), std::pair(4321u, 8765u));
        }
        EXPECT_EQ(library.Exists(c.file), c.staysInLibrary);
        if (!c.staysInLibrary) continue;
        struct stat now = StatOf(library, c.file);
        EXPECT_EQ(library.Read(c.file), kWithoutCoach);
        EXPECT_EQ(now.st_mode & 07777, c.mode);
        EXPECT_GE(now.st_mtime, start);
        if (root) {
            EXPECT_EQ(std::pair(now.st_uid, now.st_gid), std::pair(4321u, 8765u));
        }
    }
}

TEST(RemoveItem, NoBackupIsEverReplaced) {
    TempLibrary library;
    const std::string original = CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"});
    library.Write("Stock/abc.stk", original);
    library.Write("backup/Stock/abc.stk", "a backup of unknown origin");
    ItemRemover first(library.Root(), platform::RealFileSystem());
    first.RemoveItem("a", "Stock/abc.stk");
    first.Commit();
    first.RemoveItem("b", "Stock/abc.stk");
    first.Commit();
    const std::string afterFirst = CrLf({"", "", "name c", "[end]"});
    EXPECT_EQ(library.Read("Stock/abc.stk"), afterFirst);
    // The backup holds the file as it was before the command, not before its
    // second removal; the one it found there is kept beside it.
    EXPECT_EQ(library.Read("backup/Stock/abc.stk"), original);
    const std::string unknown = "backup/Stock/abc.stk.earlier-" + first.CommandId();
    EXPECT_EQ(library.Read(unknown), "a backup of unknown origin");

    // The next command's backup takes the plain name; the first command's
    // moves to a name that carries its id.
    ItemRemover next(library.Root(), platform::RealFileSystem());
    next.RemoveItem("c", "Stock/abc.stk");
    next.Commit();
    EXPECT_TRUE(CommandBefore(first.CommandId(), next.CommandId()));
    EXPECT_FALSE(library.Exists("Stock/abc.stk"));
    EXPECT_EQ(library.Read("backup/Stock/abc.stk"), afterFirst);
    EXPECT_EQ(library.Read("backup/Stock/abc.stk." + first.CommandId()), original);
    EXPECT_EQ(library.Read(unknown), "a backup of unknown origin");
    EXPECT_EQ(library.Files().size(), 5u);  // three backups and two logs
}

TEST(RemoveItem, TheSameEntryTwiceTouchesTheFileOnce) {
    TempLibrary library;
    library.Write("Stock/mk1.stk", CrLf({"name coach", "[end]", "name coach", "[end]"}));
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    remover.RemoveItem("coach", "Stock/mk1.stk");
    remover.Commit();
    EXPECT_NO_THROW(remover.RemoveItem("coach", "Stock/mk1.stk"));
    EXPECT_FALSE(library.Exists("Stock/mk1.stk"));
    // Another name in a file that has gone is an error that names it.
    EXPECT_THROW(remover.RemoveItem("wagon", "Stock/mk1.stk"), platform::FileError);
}

TEST(RemoveItem, BackupThatCannotBeWrittenLeavesTheLibraryFileAlone) {
    TempLibrary library;
    library.Write("Stock/mk1.stk", kTwoItems);
    library.Write("backup", "a plain file where the backup folder belongs");
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    try {
        remover.RemoveItem("coach", "Stock/mk1.stk");
        FAIL() << "the removal went on without a backup";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), library.Root() + "backup");
        EXPECT_NE(std::string(error.what()).find("create the folder"), std::string::npos);
    }
    EXPECT_EQ(library.Read("Stock/mk1.stk"), kTwoItems);
    EXPECT_FALSE(HasTemporaryFile(library));
}

// Three library files, one with a backup from an earlier command, and four
// older items queued in them.
struct FaultLibrary {
    struct File {
        const char* path;
        std::string before;
        std::vector<std::string> after;  // allowed results, the last the final one; "" gone
    };
    static const std::vector<File>& Files() {
        static const std::string abc =
            CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"});
        static const std::vector<File> files = {
            {"Stock/Deep/mk1.stk", kTwoItems, {kWithoutCoach}},
            {"Stock/only.stk", kOnlyCoach, {""}},
            {"Stock/abc.stk",
             abc,
             {CrLf({"", "name b", "[end]", "name c", "[end]"}), CrLf({"", "", "name c", "[end]"})}},
        };
        return files;
    }
    static constexpr const char* kEarlierBackup = "backup/Stock/Deep/mk1.stk";

    TempLibrary library;
    testing::Tree before;

    FaultLibrary() {
        for (const File& file : Files()) library.Write(file.path, file.before, "2012-03-04 05:06");
        SetMode(library, "Stock/only.stk", 0640);
        library.Write(kEarlierBackup, "from an earlier command");
        before = testing::TreeOf(library.Root(), true);
    }

    void Delete(platform::FileSystem& fs) {
        const std::vector<OlderItem> older = {{"coach", "Stock/Deep/mk1.stk"},
                                              {"coach", "Stock/only.stk"},
                                              {"a", "Stock/abc.stk"},
                                              {"b", "Stock/abc.stk"}};
        testing::RecordingProgress progress;
        DeleteOlderItems(library.Root(), older, progress, fs);
    }

    // Every file under backup/ as it is now.
    testing::Tree Backups() const {
        testing::Tree all = testing::TreeOf(library.Root(), false);
        std::erase_if(all, [](const auto& file) { return !file.first.starts_with("backup/"); });
        return all;
    }
};

TEST(DeleteOlderItems, AfterAFailureAnywhereNothingIsLostAndRestoreUndoesIt) {
    bool completed = false;
    for (int failAt = 1; !completed; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        ASSERT_LT(failAt, 200);
        FaultLibrary f;
        testing::FaultyFileSystem fs(failAt);
        try {
            f.Delete(fs);
            completed = true;
        } catch (const platform::FileError& error) {
            ASSERT_TRUE(fs.Failed()) << error.what();
        }

        for (const FaultLibrary::File& file : FaultLibrary::Files()) {
            SCOPED_TRACE(file.path);
            const bool present = f.library.Exists(file.path);
            const std::string now = present ? f.library.Read(file.path) : "";
            if (completed) {
                EXPECT_EQ(now, file.after.back());
            }
            if (present && now == file.before) continue;
            // Changed: to an allowed result, and only once its backup is complete.
            EXPECT_NE(std::find(file.after.begin(), file.after.end(), now), file.after.end());
            EXPECT_EQ(f.library.Read(std::string("backup/") + file.path), file.before);
        }
        bool earlierKept = false;
        for (const auto& [path, state] : f.Backups()) {
            earlierKept |= path.starts_with(FaultLibrary::kEarlierBackup) &&
                           state.bytes == "from an earlier command";
        }
        EXPECT_TRUE(earlierKept);
        EXPECT_FALSE(HasTemporaryFile(f.library));

        // Whatever the command did, a restore undoes it.
        RestoreLatestDelete(f.library.Root());
        EXPECT_EQ(testing::TreeOf(f.library.Root(), true), f.before);
        if (HasFailure()) break;
    }
}

TEST(Restore, AfterAFailureAnywhereNothingIsLostAndTheNextRestoreFinishes) {
    bool completed = false;
    for (int failAt = 1; !completed; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        ASSERT_LT(failAt, 200);
        FaultLibrary f;
        f.Delete(platform::RealFileSystem());
        const testing::Tree deleted = testing::TreeOf(f.library.Root(), true);
        const testing::Tree backups = f.Backups();
        testing::FaultyFileSystem fs(failAt);
        try {
            RestoreLatestDelete(f.library.Root(), fs);
            completed = true;
        } catch (const platform::FileError& error) {
            ASSERT_TRUE(fs.Failed()) << error.what();
        }

        // Every library file old or new, every backup still there.
        const testing::Tree now = testing::TreeOf(f.library.Root(), true);
        for (const testing::Tree* tree :
             {static_cast<const testing::Tree*>(&f.before), &deleted, &now}) {
            for (const auto& [path, state] : *tree) {
                auto in = [&](const testing::Tree& t) {
                    auto found = t.find(path);
                    return found == t.end() ? std::optional<testing::FileState>()
                                            : std::optional(found->second);
                };
                EXPECT_TRUE(in(now) == in(f.before) || in(now) == in(deleted)) << path;
            }
        }
        testing::Tree backupsNow = f.Backups();
        for (const auto& [path, state] : backups) {
            EXPECT_TRUE(backupsNow.count(path) && backupsNow.at(path) == state) << path;
        }
        EXPECT_FALSE(HasTemporaryFile(f.library));

        // The next restore finishes the job, and what the delete left is kept.
        if (!completed) RestoreLatestDelete(f.library.Root());
        EXPECT_EQ(testing::TreeOf(f.library.Root(), true), f.before);
        backupsNow = f.Backups();
        for (const auto& [path, state] : deleted) {
            if (state == f.before.at(path)) continue;
            EXPECT_TRUE(std::any_of(backupsNow.begin(), backupsNow.end(), [&](const auto& backup) {
                return backup.second == state;
            })) << path;
        }
        EXPECT_EQ(DescribeRestore(RestoreLatestDelete(f.library.Root())),
                  std::vector<std::string>{"Nothing to undo."});
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace corvane
