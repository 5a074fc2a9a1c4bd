// Whatever a content pack left at a name we write to (a link, a dangling
// link, a link to a folder, a folder, a FIFO) is replaced, moved aside or
// refused, never written through: at the report, at a library file's old
// temporary name, at a backup's path, in place of the backup folders. After
// each case what the links point to is as it was, and a restore brings the
// library back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using platform::EntryKind;

// What stands in the way: a link to a path in the library, a folder (nullptr)
// or a FIFO ("").
const std::pair<const char*, const char*> kThings[] = {{"a link to a file", "outside/victim"},
                                                       {"a dangling link", "outside/nowhere"},
                                                       {"a link to a folder", "outside/folder"},
                                                       {"a folder", nullptr},
                                                       {"a FIFO", ""}};
const std::string kBackup = "backup/Stock/a.stk";
const std::string kPlaces[] = {"Stock/a.stk.tmp", "Corvane.htm", kBackup, "backup/Stock", "backup"};

TEST(HostileNames, NoWriteGoesThroughWhatStandsInItsWay) {
    const std::string older = testing::CrLf({"name coach", "[end]", "name wagon", "[end]"});
    for (const std::string& at : kPlaces) {
        for (auto [what, target] : kThings) {
            SCOPED_TRACE(std::string(what) + " at " + at);
            testing::TempLibrary lib;
            lib.Write("Stock/a.stk", older, "2010-01-01 10:00");
            lib.Write("Stock/b.stk", testing::CrLf({"name coach", "[end]"}), "2020-01-01 10:00");
            lib.Write("outside/victim", "victim");
            lib.MakeFolder("outside/folder");
            const testing::Tree before = testing::TreeOf(lib.Root(), true);
            const std::string path = lib.Path(at);
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            const bool folder = !target;
            if (folder) lib.MakeFolder(at);
            if (target && !*target) {
                ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
            }
            if (target && *target) {
                ASSERT_EQ(::symlink(lib.Path(target).c_str(), path.c_str()), 0);
            }
            platform::FileSystem& fs = platform::RealFileSystem();
            const EntryKind kind = fs.KindOfEntry(path);

            auto cli = [&](const char* command, const char* option) {
                return testing::RunProgram(CORVANE_CLI, {command, option, lib.Root()});
            };
            const testing::ProgramResult run = cli("check", "--delete");
            // A folder in place of the report stops the check; in place of the
            // backup folders, anything but a folder stops the delete.
            const bool fails =
                at == "Corvane.htm" ? folder : at.starts_with("backup") && at != kBackup && !folder;
            if (!fails) {
                EXPECT_EQ(run.status, 0) << run.err;
                EXPECT_EQ(lib.Read("Stock/a.stk"), testing::CrLf({"", "name wagon", "[end]"}));
                EXPECT_EQ(lib.Read("backup/Stock/a.stk"), older);
                EXPECT_EQ(fs.KindOfEntry(lib.Path("Corvane.htm")), EntryKind::kFile);
                if (at == kBackup) {
                    // Moved aside whole, under a name of its own.
                    std::string aside;
                    for (const platform::FolderEntry& e : fs.ListFolder(lib.Path("backup"))) {
                        if (e.name.starts_with("earlier-"))
                            aside = "backup/" + e.name + "/Stock/a.stk";
                    }
                    ASSERT_FALSE(aside.empty());
                    EXPECT_EQ(fs.KindOfEntry(lib.Path(aside)), kind);
                } else if (at != "Corvane.htm") {
                    EXPECT_EQ(fs.KindOfEntry(path), kind);
                }
                EXPECT_EQ(cli("restore", "--").status, 0);
            } else {
                EXPECT_EQ(run.status, 1);
                EXPECT_NE(run.err.find("\"" + path + "\""), std::string::npos) << run.err;
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
