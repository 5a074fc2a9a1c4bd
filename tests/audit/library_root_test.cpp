// Which folders pass for a library before a check writes anything into them.
#include "audit/library_root.h"

#include <gtest/gtest.h>

#include <iostream>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

TEST(LibraryRoot, AFolderWithAnyCategoryFolderInAnyCaseIsALibrary) {
    using enum LibraryRootProblem;
    // What the scratch folder holds: "x/" a folder, "x" a file, "x>y" a link
    // at x to the folder y; the folder looked at is "root".
    const std::pair<std::vector<std::string>, LibraryRootProblem> cases[] = {
        {{"root/Stock/"}, kNone},
        {{"root/ohle/"}, kNone},  // only one, in lower case
        {{"elsewhere/tracks/", "root/Track>elsewhere/tracks"}, kNone},
#ifndef _WIN32  // under Wine the test folder cannot remove a link to a full folder
        {{"lib/SIGNALS/", "root>lib"}, kNone},
#endif
        {{}, kMissing},
        {{"root"}, kNotAFolder},
        {{"root/"}, kNoCategoryFolder},
        {{"root/Stock", "root/pack/Scenery/", "root/Stocks/"}, kNoCategoryFolder},
    };
    for (const auto& [entries, problem] : cases) {
        SCOPED_TRACE(testing::Join(entries));
        testing::TempLibrary scratch;
        bool linked = true;
        for (const std::string& entry : entries) {
            const size_t arrow = entry.find('>');
            if (arrow != std::string::npos) {
                scratch.MakeFolder(entry.substr(0, entry.rfind('/', arrow) + 1));
                linked = testing::MakeLink(scratch.Path(entry.substr(arrow + 1)),
                                           scratch.Path(entry.substr(0, arrow)), true);
            } else if (entry.ends_with('/')) {
                scratch.MakeFolder(entry);
            } else {
                scratch.Write(entry, "x");
            }
        }
        if (!linked) {
            std::cout << "[ SKIPPED  ] the system makes no links here\n";
            continue;
        }
        EXPECT_EQ(ExamineLibraryRoot(scratch.Path("root/")), problem);
    }
}

}  // namespace
}  // namespace corvane
