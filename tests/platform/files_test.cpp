// How the file system layer writes: what stood at a target before, and what stands there after
// Place(), PlaceIfFree(), PlaceIfUnchanged() or none; and that a tree writes nothing through a
// link. (What a copy keeps is tested with the backups and rewritten files of a removal.)
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

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

// A library folder holding "outside/victim" (mode 0600) and the thing at "target"; its links point
// to the victim or to "outside/nowhere".
struct Scene {
    TempLibrary lib;
    std::string target = lib.Path("target");

    explicit Scene(Thing thing) {
        lib.Write("outside/victim", "victim");
        ::chmod(lib.Path("outside/victim").c_str(), 0600);
        if (thing == Thing::kFile) {
            lib.Write("target", "old");
            ::chmod(target.c_str(), 04640);
        }
        if (thing == Thing::kLinkToFile || thing == Thing::kDanglingLink) {
            const char* to = thing == Thing::kLinkToFile ? "outside/victim" : "outside/nowhere";
            EXPECT_EQ(::symlink(to, target.c_str()), 0);
        }
        if (thing == Thing::kFifo) {
            EXPECT_EQ(::mkfifo(target.c_str(), 0644), 0);
        }
        if (thing == Thing::kFolder) lib.MakeFolder("target");
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
    enum Ending { kPlace, kPlaceIfFree, kPlaceIfUnchanged, kDestroyed };
    FileSystem& fs = RealFileSystem();
    for (const ThingCase& c : kThings) {
        for (Ending ending : {kPlace, kPlaceIfFree, kPlaceIfUnchanged, kDestroyed}) {
            SCOPED_TRACE(std::string(c.what) + ", ending " + std::to_string(ending));
            Scene scene(c.thing);
            const std::vector<std::string> before = scene.Entries();
            if (c.thing == Thing::kFolder) {
                EXPECT_THROW(fs.Create(scene.target), FileError);
                EXPECT_EQ(fs.KindOfEntry(scene.target), EntryKind::kFolder);
                continue;
            }
            // Place() over anything, PlaceIfFree() where nothing stood, PlaceIfUnchanged() over the
            // file whose version was read.
            const bool placed = ending == kPlace ||
                                (ending == kPlaceIfFree && c.thing == Thing::kNothing) ||
                                (ending == kPlaceIfUnchanged && c.thing == Thing::kFile);
            std::string bytes;
            const FileVersion version =
                c.thing == Thing::kFile ? fs.ReadFileWithAttributes(scene.target, bytes).Version()
                                        : FileVersion{};
            {
                std::unique_ptr<OutputFile> out = fs.Create(scene.target);
                out->Write("new bytes");
                // Written under a fresh name of its own, for its owner alone until it is finished.
                std::vector<std::string> during = scene.Entries();
                ASSERT_EQ(during.size(), before.size() + 1);
                std::string temporary;
                std::set_difference(during.begin(), during.end(), before.begin(), before.end(),
                                    &temporary);
                EXPECT_NE(temporary, "target.tmp");
                EXPECT_EQ(scene.Mode(temporary), 0600u);
                EXPECT_EQ(fs.KindOfEntry(scene.target), c.entry);
                out->Finish();
                if (ending == kPlace) out->Place();
                if (ending == kPlaceIfFree && placed) out->PlaceIfFree();
                if (ending == kPlaceIfFree && !placed) {
                    EXPECT_THROW(out->PlaceIfFree(), FileError);
                }
                if (ending == kPlaceIfUnchanged) {
                    EXPECT_THROW(out->PlaceIfUnchanged(FileVersion{}), FileChanged);
                }
                if (ending == kPlaceIfUnchanged && placed) out->PlaceIfUnchanged(version);
            }
            EXPECT_EQ(fs.KindOfEntry(scene.target), placed ? EntryKind::kFile : c.entry);
            if (placed) {
                EXPECT_EQ(scene.lib.Read("target"), "new bytes");
                // The permissions of a file it replaces, less the set-id bits.
                EXPECT_EQ(scene.Mode("target"), c.thing == Thing::kFile ? 0640u : NewFileMode());
            }
            std::vector<std::string> after = scene.Entries();
            if (c.thing == Thing::kNothing && placed) std::erase(after, "target");
            EXPECT_EQ(after, before) << "a temporary file was left";
            scene.ExpectOutsideUntouched();
        }
    }
}

TEST(ContainedTree, MoveIfFreeMovesOnlyToAFreeNameAndMovesLinksThemselves) {
    FileSystem& fs = RealFileSystem();
    for (const ThingCase& c : kThings) {
        SCOPED_TRACE(c.what);
        Scene scene(c.thing);
        std::unique_ptr<ContainedTree> tree = fs.OpenTree(scene.lib.Root());
        EXPECT_EQ(tree->KindOfEntry("target"), c.entry);
        ASSERT_EQ(::symlink("outside/victim", scene.lib.Path("link").c_str()), 0);
        if (c.thing == Thing::kNothing) {
            tree->MoveIfFree("link", "target");
            EXPECT_EQ(tree->KindOfEntry("target"), EntryKind::kLink);
            EXPECT_FALSE(scene.lib.Exists("link"));
        } else {
            EXPECT_THROW(tree->MoveIfFree("link", "target"), FileError);
            EXPECT_EQ(tree->KindOfEntry("target"), c.entry);
            EXPECT_EQ(tree->KindOfEntry("link"), EntryKind::kLink);
        }
        scene.ExpectOutsideUntouched();
    }
}

TEST(ContainedTree, NothingIsReadOrWrittenThroughALinkInAFolderPart) {
    // "in" is a link to a folder outside the tree, "loop" one back into it.
    TempLibrary lib, outside;
    outside.Write("victim", "victim");
    outside.MakeFolder("folder");
    lib.MakeFolder("tree/real");
    ASSERT_EQ(::symlink(outside.Root().c_str(), lib.Path("tree/in").c_str()), 0);
    ASSERT_EQ(::symlink("real", lib.Path("tree/loop").c_str()), 0);
    ASSERT_EQ(::symlink(outside.Path("victim").c_str(), lib.Path("tree/real/file").c_str()), 0);
    std::unique_ptr<ContainedTree> tree = RealFileSystem().OpenTree(lib.Path("tree"));
    const std::function<void(const std::string&)> operations[] = {
        [&](const std::string& p) { tree->OpenForReading(p); },
        [&](const std::string& p) { tree->Create(p, "abcdefgh")->Place(); },
        [&](const std::string& p) { tree->MakeFolders(p + "/new"); },
        [&](const std::string& p) { tree->MoveIfFree("real", p + "/moved"); },
        [&](const std::string& p) { tree->RemoveIfUnchanged(p, FileVersion{}); },
        [&](const std::string& p) { tree->ListFolder(p + "/.."); },
    };
    for (const char* path : {"in/victim", "in/folder/x", "loop/x", "real/file/x", "../x"}) {
        for (const auto& operation : operations) {
            SCOPED_TRACE(path);
            EXPECT_THROW(operation(path), FileError);
        }
    }
    // A link where a file is read or removed is none of ours.
    EXPECT_THROW(tree->OpenForReading("real/file"), FileError);
    EXPECT_FALSE(tree->RemoveFile("real/file"));
    EXPECT_EQ(tree->KindOfEntry("real/file"), EntryKind::kLink);
    EXPECT_EQ(outside.Files(), std::vector<std::string>{"victim"});
    EXPECT_EQ(outside.Read("victim"), "victim");
    EXPECT_TRUE(lib.Exists("tree/real"));
}

TEST(FileSystem, FailedOperationsNameTheFile) {
    testing::TempLibrary library;
    FileSystem& fs = RealFileSystem();
    std::string missing = library.Path("no/such.stk");
    std::string bytes;
    try {
        fs.ReadFile(missing, bytes);
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open for reading \"" + missing + "\": No such file or directory");
    }
    library.MakeFolder("folder.stk");
    EXPECT_THROW(fs.ReadFile(library.Path("folder.stk"), bytes), FileError);
    EXPECT_THROW(fs.Create(missing), FileError);
    library.Write("file", "x");
    std::unique_ptr<ContainedTree> tree = fs.OpenTree(library.Root());
    EXPECT_THROW(tree->MakeFolders("file"), FileError);
    EXPECT_NO_THROW(tree->MakeFolders("folder.stk"));
    // Where no folder stands there is nothing to list; that is no error.
    std::filesystem::create_symlink("nowhere", library.Path("dangling"));
    for (const char* none : {"no/such", "file", "dangling"}) {
        EXPECT_TRUE(fs.ListFolder(library.Path(none)).empty()) << none;
    }
}

}  // namespace
}  // namespace corvane::platform
