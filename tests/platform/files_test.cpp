// How the file system layer writes: what stood at a target before, and what
// stands there after Close(), CloseAsNew() or neither; what a copy keeps.
#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "tests/support/test_library.h"

namespace corvane::platform {
namespace {

using testing::TempLibrary;

enum class Thing { kNothing, kFile, kLinkToFile, kDanglingLink, kFifo, kFolder };

struct ThingCase {
    Thing thing;
    const char* what;
    EntryKind entry;  // as KindOfEntry sees it
};
const ThingCase kThings[] = {
    {Thing::kNothing, "nothing", EntryKind::kMissing},
    {Thing::kFile, "a file of mode 04640", EntryKind::kFile},
    {Thing::kLinkToFile, "a link to a file of mode 0600", EntryKind::kLink},
    {Thing::kDanglingLink, "a dangling link", EntryKind::kLink},
    {Thing::kFifo, "a FIFO", EntryKind::kOther},
    {Thing::kFolder, "a folder", EntryKind::kFolder},
};

// A library folder holding "outside/victim" (mode 0600) and the thing at
// "target"; its links point to the victim or to "outside/nowhere".
struct Scene {
    TempLibrary lib;
    std::string target = lib.Path("target");

    explicit Scene(Thing thing) {
        lib.Write("outside/victim", "victim");
        ::chmod(lib.Path("outside/victim").c_str(), 0600);
        switch (thing) {
            case Thing::kNothing:
                break;
            case Thing::kFile:
                lib.Write("target", "old");
                ::chmod(target.c_str(), 04640);
                break;
            case Thing::kLinkToFile:
                EXPECT_EQ(::symlink("outside/victim", target.c_str()), 0);
                break;
            case Thing::kDanglingLink:
                EXPECT_EQ(::symlink("outside/nowhere", target.c_str()), 0);
                break;
            case Thing::kFifo:
                EXPECT_EQ(::mkfifo(target.c_str(), 0644), 0);
                break;
            case Thing::kFolder:
                lib.MakeFolder("target");
                break;
        }
    }

    // Whatever the links point to is as it was.
    void ExpectOutsideUntouched() const {
        EXPECT_EQ(lib.Read("outside/victim"), "victim");
        EXPECT_EQ(Mode("outside/victim"), 0600u);
        EXPECT_FALSE(lib.Exists("outside/nowhere"));
    }

    unsigned Mode(const std::string& relative) const {
        struct stat st {};
        ::lstat(lib.Path(relative).c_str(), &st);
        return st.st_mode & 07777;
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const FolderEntry& e : RealFileSystem().ListFolder(lib.Root()))
            names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

unsigned NewFileMode() {
    mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

TEST(OutputFile, ReplacesWhatStoodAtItsTargetWithoutFollowingIt) {
    enum Ending { kClose, kCloseAsNew, kDestroyed };
    FileSystem& fs = RealFileSystem();
    for (const ThingCase& c : kThings) {
        for (Ending ending : {kClose, kCloseAsNew, kDestroyed}) {
            SCOPED_TRACE(std::string(c.what) + ", ending " + std::to_string(ending));
            Scene scene(c.thing);
            const std::vector<std::string> before = scene.Entries();
            if (c.thing == Thing::kFolder) {
                EXPECT_THROW(fs.Create(scene.target), FileError);
                EXPECT_EQ(fs.KindOfEntry(scene.target), EntryKind::kFolder);
                continue;
            }
            bool placed = false;
            {
                std::unique_ptr<OutputFile> out = fs.Create(scene.target);
                out->Write("new bytes");
                // Written under a fresh name of its own, for its owner alone
                // until it is finished.
                std::vector<std::string> during = scene.Entries();
                ASSERT_EQ(during.size(), before.size() + 1);
                std::string temporary;
                std::set_difference(during.begin(), during.end(), before.begin(), before.end(),
                                    &temporary);
                EXPECT_NE(temporary, "target.tmp");
                EXPECT_EQ(scene.Mode(temporary), 0600u);
                EXPECT_EQ(fs.KindOfEntry(scene.target), c.entry);
                out->Finish();
                if (ending == kClose) {
                    out->Close();
                    placed = true;
                } else if (ending == kCloseAsNew && c.thing == Thing::kNothing) {
                    out->CloseAsNew();
                    placed = true;
                } else if (ending == kCloseAsNew) {
                    EXPECT_THROW(out->CloseAsNew(), FileError);
                }
            }
            if (placed) {
                EXPECT_EQ(fs.KindOfEntry(scene.target), EntryKind::kFile);
                EXPECT_EQ(scene.lib.Read("target"), "new bytes");
                // The permissions of a file it replaces, less the set-id bits.
                EXPECT_EQ(scene.Mode("target"), c.thing == Thing::kFile ? 0640u : NewFileMode());
            } else {
                EXPECT_EQ(fs.KindOfEntry(scene.target), c.entry);
            }
            std::vector<std::string> after = scene.Entries();
            if (c.thing == Thing::kNothing && placed)
                after.erase(std::find(after.begin(), after.end(), "target"));
            EXPECT_EQ(after, before) << "a temporary file was left";
            scene.ExpectOutsideUntouched();
        }
    }
}

TEST(OutputFile, ACopyKeepsWhatItIsAskedToKeep) {
    FileSystem& fs = RealFileSystem();
    TempLibrary lib;
    lib.Write("original", "bytes");
    ASSERT_EQ(::chmod(lib.Path("original").c_str(), 0604), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(lib.Path("original").c_str(), 4321, 8765), 0);
    }
    struct timespec times[2] = {{0, UTIME_OMIT}, {1300000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, lib.Path("original").c_str(), times, 0), 0);

    std::string bytes;
    const FileAttributes original = fs.ReadFileWithAttributes(lib.Path("original"), bytes);
    EXPECT_EQ(bytes, "bytes");
    EXPECT_EQ(original.lastWriteSeconds, 1300000000);
    EXPECT_EQ(original.lastWriteNanoseconds, 987654321u);
    EXPECT_EQ(original.permissions, 0604u);
    if (root) {
        EXPECT_EQ(std::pair(original.owner, original.group), std::pair(4321L, 8765L));
    }

    const std::int64_t start = std::time(nullptr);
    for (bool keepTime : {true, false}) {
        SCOPED_TRACE(keepTime ? "with its time" : "permissions only");
        std::unique_ptr<OutputFile> out = fs.Create(lib.Path("copy"));
        out->KeepPermissions(original);
        if (keepTime) out->KeepLastWriteTime(original);
        out->Write(bytes);
        out->Close();
        FileAttributes copy = fs.ReadFileWithAttributes(lib.Path("copy"), bytes);
        EXPECT_EQ(bytes, "bytes");
        if (keepTime) {
            EXPECT_EQ(copy, original);
        } else {
            EXPECT_GE(copy.lastWriteSeconds, start);
            EXPECT_EQ(std::tuple(copy.permissions, copy.owner, copy.group),
                      std::tuple(original.permissions, original.owner, original.group));
        }
    }
}

TEST(FileSystem, RenameNoReplaceMovesOnlyToAFreeNameAndMovesLinksThemselves) {
    FileSystem& fs = RealFileSystem();
    for (const ThingCase& c : kThings) {
        SCOPED_TRACE(c.what);
        Scene scene(c.thing);
        EXPECT_EQ(fs.KindOfEntry(scene.target), c.entry);
        ASSERT_EQ(::symlink("outside/victim", scene.lib.Path("link").c_str()), 0);
        if (c.thing == Thing::kNothing) {
            fs.RenameNoReplace(scene.lib.Path("link"), scene.target);
            EXPECT_EQ(fs.KindOfEntry(scene.target), EntryKind::kLink);
            EXPECT_FALSE(scene.lib.Exists("link"));
        } else {
            EXPECT_THROW(fs.RenameNoReplace(scene.lib.Path("link"), scene.target), FileError);
            EXPECT_EQ(fs.KindOfEntry(scene.target), c.entry);
            EXPECT_EQ(fs.KindOfEntry(scene.lib.Path("link")), EntryKind::kLink);
        }
        scene.ExpectOutsideUntouched();
    }
}

}  // namespace
}  // namespace corvane::platform
