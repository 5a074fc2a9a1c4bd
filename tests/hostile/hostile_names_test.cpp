// Whatever a content pack left at a name we write to (a link, a dangling
// link, a link to a folder, a folder, a FIFO) is replaced, moved aside or
// refused, never written through: at the report, at a library file's old
// temporary name, at a backup's path, in place of the backup folders. After
// each case what the links point to is as it was, and a restore brings the
// library back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using platform::EntryKind;

enum class Thing { kLinkToFile, kDanglingLink, kLinkToFolder, kFolder, kFifo };
const std::pair<Thing, const char*> kThings[] = {
    {Thing::kLinkToFile, "a link to a file"},
    {Thing::kDanglingLink, "a dangling link"},
    {Thing::kLinkToFolder, "a link to a folder"},
    {Thing::kFolder, "a folder"},
    {Thing::kFifo, "a FIFO"},
};

enum class Place { kOldTemporary, kReport, kBackup, kBackupCategory, kBackupFolder };
const std::pair<Place, const char*> kPlaces[] = {
    {Place::kOldTemporary, "Stock/a.stk.tmp"}, {Place::kReport, "Corvane.htm"},
    {Place::kBackup, "backup/Stock/a.stk"},    {Place::kBackupCategory, "backup/Stock"},
    {Place::kBackupFolder, "backup"},
};

// What comes of the command: done, or an error that names the place.
enum class Outcome { kDone, kCheckFails, kDeleteFails };

Outcome Expected(Place place, Thing thing) {
    switch (place) {
        case Place::kReport:
            return thing == Thing::kFolder ? Outcome::kCheckFails : Outcome::kDone;
        case Place::kBackupCategory:
        case Place::kBackupFolder:
            return thing == Thing::kFolder ? Outcome::kDone : Outcome::kDeleteFails;
        default:
            return Outcome::kDone;
    }
}

int RunCli(const std::string& args, const std::string& err) {
    int status = std::system((CORVANE_CLI " " + args + " >/dev/null 2>" + err).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HostileNames, NoWriteGoesThroughWhatStandsInItsWay) {
    const std::string older = testing::CrLf({"name coach", "[end]", "name wagon", "[end]"});
    for (auto [place, at] : kPlaces) {
        for (auto [thing, what] : kThings) {
            SCOPED_TRACE(std::string(what) + " at " + at);
            testing::TempLibrary scratch, lib;
            lib.Write("Stock/a.stk", older, "2010-01-01 10:00");
            lib.Write("Stock/b.stk", testing::CrLf({"name coach", "[end]"}), "2020-01-01 10:00");
            lib.Write("outside/victim", "victim");
            lib.MakeFolder("outside/folder");
            const testing::Tree before = testing::TreeOf(lib.Root(), true);
            const std::string path = lib.Path(at);
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            switch (thing) {
                case Thing::kLinkToFile:
                    ASSERT_EQ(::symlink(lib.Path("outside/victim").c_str(), path.c_str()), 0);
                    break;
                case Thing::kDanglingLink:
                    ASSERT_EQ(::symlink(lib.Path("outside/nowhere").c_str(), path.c_str()), 0);
                    break;
                case Thing::kLinkToFolder:
                    ASSERT_EQ(::symlink(lib.Path("outside/folder").c_str(), path.c_str()), 0);
                    break;
                case Thing::kFolder:
                    lib.MakeFolder(at);
                    break;
                case Thing::kFifo:
                    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
                    break;
            }
            platform::FileSystem& fs = platform::RealFileSystem();
            const EntryKind kind = fs.KindOfEntry(path);

            const std::string err = scratch.Path("err");
            const int status = RunCli("check --delete " + lib.Root(), err);
            const Outcome outcome = Expected(place, thing);
            if (outcome == Outcome::kDone) {
                EXPECT_EQ(status, 0) << scratch.Read("err");
                EXPECT_EQ(lib.Read("Stock/a.stk"), testing::CrLf({"", "name wagon", "[end]"}));
                EXPECT_EQ(lib.Read("backup/Stock/a.stk"), older);
                EXPECT_EQ(fs.KindOfEntry(lib.Path("Corvane.htm")), EntryKind::kFile);
                if (place == Place::kBackup) {
                    // Moved aside whole, under a name of its own.
                    std::string aside;
                    for (const platform::FolderEntry& e : fs.ListFolder(lib.Path("backup/Stock"))) {
                        if (e.name.starts_with("a.stk.earlier-")) aside = "backup/Stock/" + e.name;
                    }
                    ASSERT_FALSE(aside.empty());
                    EXPECT_EQ(fs.KindOfEntry(lib.Path(aside)), kind);
                } else if (place != Place::kReport) {
                    EXPECT_EQ(fs.KindOfEntry(path), kind);
                }
                EXPECT_EQ(RunCli("restore " + lib.Root(), err), 0) << scratch.Read("err");
            } else {
                EXPECT_EQ(status, 1);
                EXPECT_NE(scratch.Read("err").find("\"" + path + "\""), std::string::npos)
                    << scratch.Read("err");
                EXPECT_EQ(fs.KindOfEntry(path), kind);
            }
            EXPECT_EQ(testing::TreeOf(lib.Root(), true), before);
            EXPECT_EQ(lib.Read("outside/victim"), "victim");
            EXPECT_FALSE(lib.Exists("outside/nowhere"));
            EXPECT_TRUE(std::filesystem::is_empty(lib.Path("outside/folder")));
        }
    }
}

}  // namespace
}  // namespace corvane
