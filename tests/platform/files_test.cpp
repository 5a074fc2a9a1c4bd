// How the file system layer writes: what stood at a target before, and what stands there after
// Place(), PlaceIfFree(), PlaceIfUnchanged() or none; and that a tree writes nothing through a
// link. (What a copy keeps is tested with the backups and rewritten files of a removal.)
#include "platform/files.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>

#include "tests/support/test_library.h"

namespace corvane::platform {
namespace {

using testing::TempLibrary;

// Windows has no POSIX permission bits (nor FIFOs, see testing::MakeFifo):
// the checks of those run on POSIX systems only.
#ifdef _WIN32
constexpr bool kPosix = false;
unsigned Mode(const std::string&) {
    return 0;
}
void SetMode(const std::string&, unsigned) {}
unsigned NewFileMode() {
    return 0;
}
#else
constexpr bool kPosix = true;
unsigned Mode(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}
void SetMode(const std::string& path, unsigned mode) {
    ::chmod(path.c_str(), mode);
}
unsigned NewFileMode() {
    mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}
#endif

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

    bool made = true;  // false: the system makes no such thing (Wine: no FIFO, no file link)

    Scene(Thing thing, const char* what) {
        lib.Write("outside/victim", "victim");
        SetMode(lib.Path("outside/victim"), 0600);
        if (thing == Thing::kFile) {
            lib.Write("target", "old");
            SetMode(target, 04640);
        }
        if (thing == Thing::kLinkToFile || thing == Thing::kDanglingLink) {
            const char* to = thing == Thing::kLinkToFile ? "outside/victim" : "outside/nowhere";
            made = testing::MakeLink(lib.Path(to), target, false);
        }
        if (thing == Thing::kFifo) made = testing::MakeFifo(target);
        if (thing == Thing::kFolder) lib.MakeFolder("target");
        made = testing::CanSetUp(made, what);
    }

    // Whatever the links point to is as it was.
    void ExpectOutsideUntouched() const {
        EXPECT_EQ(lib.Read("outside/victim"), "victim");
        if (kPosix) {
            EXPECT_EQ(Mode(lib.Path("outside/victim")), 0600u);
        }
        EXPECT_FALSE(lib.Exists("outside/nowhere"));
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const FolderEntry& e : RealFileSystem().ListFolder(lib.Root()))
            names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(OutputFile, ReplacesWhatStoodAtItsTargetWithoutFollowingIt) {
    enum Ending { kPlace, kPlaceIfFree, kPlaceIfUnchanged, kDestroyed };
    FileSystem& fs = RealFileSystem();
    for (const ThingCase& c : kThings) {
        for (Ending ending : {kPlace, kPlaceIfFree, kPlaceIfUnchanged, kDestroyed}) {
            SCOPED_TRACE(std::string(c.what) + ", ending " + std::to_string(ending));
            Scene scene(c.thing, c.what);
            if (!scene.made) continue;
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
                if (kPosix) {
                    EXPECT_EQ(Mode(scene.lib.Path(temporary)), 0600u);
                }
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
                if (kPosix) {
                    EXPECT_EQ(Mode(scene.target), c.thing == Thing::kFile ? 0640u : NewFileMode());
                }
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
        Scene scene(c.thing, c.what);
        if (!scene.made) continue;
        std::unique_ptr<ContainedTree> tree = fs.OpenTree(scene.lib.Root());
        EXPECT_EQ(tree->KindOfEntry("target"), c.entry);
        // A link to the victim, where the system makes one for us; Wine makes
        // none to a file (and moves the folder a link leads to, not the link),
        // so there a plain file shows the rest.
        const bool link =
            testing::MakeLink(scene.lib.Path("outside/victim"), scene.lib.Path("moved"), false);
        if (!link) scene.lib.Write("moved", "moved");
        const EntryKind moved = link ? EntryKind::kLink : EntryKind::kFile;
        if (c.thing == Thing::kNothing) {
            tree->MoveIfFree("moved", "target");
            EXPECT_EQ(tree->KindOfEntry("target"), moved);
            EXPECT_FALSE(scene.lib.Exists("moved"));
        } else {
            EXPECT_THROW(tree->MoveIfFree("moved", "target"), FileError);
            EXPECT_EQ(tree->KindOfEntry("target"), c.entry);
            EXPECT_EQ(tree->KindOfEntry("moved"), moved);
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
    if (!testing::MakeLink(outside.Root(), lib.Path("tree/in"), true) ||
        !testing::MakeLink(lib.Path("tree/real"), lib.Path("tree/loop"), true)) {
        GTEST_SKIP() << "this system makes no link to a folder for us";
    }
    const bool fileLink = testing::CanSetUp(
        testing::MakeLink(outside.Path("victim"), lib.Path("tree/real/file"), false),
        "a file link");
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
        if (!fileLink && std::string_view(path).starts_with("real/file")) continue;
        for (const auto& operation : operations) {
            SCOPED_TRACE(path);
            EXPECT_THROW(operation(path), FileError);
        }
    }
    // A link where a file is read or removed is none of ours.
    if (fileLink) {
        EXPECT_THROW(tree->OpenForReading("real/file"), FileError);
        EXPECT_FALSE(tree->RemoveFile("real/file"));
        EXPECT_EQ(tree->KindOfEntry("real/file"), EntryKind::kLink);
    }
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
        // Then the system's own words, which differ from system to system.
        const std::string named = "Cannot open for reading \"" + missing + "\": ";
        EXPECT_TRUE(std::string(error.what()).starts_with(named)) << error.what();
        if (kPosix) {
            EXPECT_EQ(std::string(error.what()), named + "No such file or directory");
        }
    }
    library.MakeFolder("folder.stk");
    EXPECT_THROW(fs.ReadFile(library.Path("folder.stk"), bytes), FileError);
    EXPECT_THROW(fs.Create(missing), FileError);
    library.Write("file", "x");
    std::unique_ptr<ContainedTree> tree = fs.OpenTree(library.Root());
    EXPECT_THROW(tree->MakeFolders("file"), FileError);
    EXPECT_NO_THROW(tree->MakeFolders("folder.stk"));
    // Where no folder stands there is nothing to list; that is no error.
    const bool dangling =
        testing::MakeLink(library.Path("nowhere"), library.Path("dangling"), false);
    for (const char* none : {"no/such", "file", "dangling"}) {
        if (none == std::string("dangling") && !dangling) continue;
        EXPECT_TRUE(fs.ListFolder(library.Path(none)).empty()) << none;
    }
}

}  // namespace
}  // namespace corvane::platform
