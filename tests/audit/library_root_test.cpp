// Which folders pass for a library before a check writes anything into them.
#include "audit/library_root.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::TempLibrary;

TEST(LibraryRoot, AFolderWithAnyCategoryFolderInAnyCaseIsALibrary) {
#ifdef _WIN32
    GTEST_SKIP() << "links and POSIX paths; not yet ported to Windows";
#endif
    struct Case {
        const char* name;
        std::function<void(TempLibrary&)> build;  // makes "root" in the scratch folder
        LibraryRootProblem problem;
    };
    const Case cases[] = {
        {"Stock", [](TempLibrary& t) { t.MakeFolder("root/Stock"); }, LibraryRootProblem::kNone},
        {"only ohle, lower case", [](TempLibrary& t) { t.MakeFolder("root/ohle"); },
         LibraryRootProblem::kNone},
        {"a link to a category folder",
         [](TempLibrary& t) {
             t.MakeFolder("elsewhere/tracks");
             t.MakeFolder("root");
             std::filesystem::create_directory_symlink(t.Path("elsewhere/tracks"),
                                                       t.Path("root/Track"));
         },
         LibraryRootProblem::kNone},
        {"root itself a link to a library",
         [](TempLibrary& t) {
             t.MakeFolder("lib/SIGNALS");
             std::filesystem::create_directory_symlink(t.Path("lib"), t.Path("root"));
         },
         LibraryRootProblem::kNone},
        {"no such folder", [](TempLibrary&) {}, LibraryRootProblem::kMissing},
        {"a file", [](TempLibrary& t) { t.Write("root", "x"); }, LibraryRootProblem::kNotAFolder},
        {"an empty folder", [](TempLibrary& t) { t.MakeFolder("root"); },
         LibraryRootProblem::kNoCategoryFolder},
        {"category names as files and deeper down",
         [](TempLibrary& t) {
             t.Write("root/Stock", "");
             t.MakeFolder("root/pack/Scenery");
             t.MakeFolder("root/Stocks");
         },
         LibraryRootProblem::kNoCategoryFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempLibrary scratch;
        c.build(scratch);
        EXPECT_EQ(ExamineLibraryRoot(scratch.Path("root/")), c.problem);
    }
}

}  // namespace
}  // namespace corvane
