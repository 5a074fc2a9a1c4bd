// Which library the dialog opens on, and the dialog opened on a named folder.
#include <gtest/gtest.h>

#include <optional>

#include "app/corvane_dlg.h"
#include "app/ids.h"
#include "app/logic/library_choice.h"
#include "tests/support/test_library.h"

namespace corvane::app {
namespace {

using corvane::testing::TempLibrary;

TEST(Library, NamedFolderElseOwnFolderElseTheUsersChoice) {
    // Folders in the scratch folder: "prog" holds the program, "lib" and
    // "prog-lib" are libraries, "plain" is not, "locked" cannot be listed.
    struct Case {
        const char* name;
        bool programInLibrary;  // "prog-lib" holds the program rather than "prog"
        const char* argument;
        std::vector<const char*> answers;  // the chooser's in turn, nullptr: cancelled
        const char* root;                  // nullptr: the program ends
        size_t problems;
    };
    const Case cases[] = {
        {"named library", false, "lib/", {}, "lib/", 0},
        {"named own folder", true, "prog-lib", {}, "prog-lib/", 0},
        {"named folder without a category folder", false, "plain", {}, nullptr, 1},
        {"named folder that is not there", false, "none", {}, nullptr, 1},
        {"own folder a library", true, nullptr, {}, "prog-lib/", 0},
        {"chosen library", false, nullptr, {"lib"}, "lib/", 0},
        {"chooser cancelled", false, nullptr, {nullptr}, nullptr, 0},
        {"chosen again after an unreadable folder", false, nullptr, {"locked", "lib"}, "lib/", 1},
        {"cancelled after a wrong choice", false, nullptr, {"plain", nullptr}, nullptr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempLibrary scratch;
        scratch.MakeFolder("prog");
        scratch.MakeFolder("prog-lib/Stock");
        scratch.MakeFolder("lib/ohle");
        scratch.MakeFolder("plain/Stuff");
        scratch.MakeFolder("locked/Stock");
        struct : corvane::testing::ForwardingFileSystem {
            std::vector<platform::FolderEntry> ListFolder(const std::string& folder) override {
                if (folder.find("/locked") != std::string::npos)
                    throw platform::FileError("list the folder", folder, EACCES);
                return ForwardingFileSystem::ListFolder(folder);
            }
        } fs;
        auto inScratch = [&](const char* name) {
            return name ? std::optional(scratch.Path(name)) : std::nullopt;
        };
        size_t asked = 0;
        std::vector<std::string> problems;
        std::optional<LibraryChoice> choice = ChooseLibrary(
            inScratch(c.argument), scratch.Path(c.programInLibrary ? "prog-lib/" : "prog/"),
            [&]() -> std::optional<std::string> {
                if (asked == c.answers.size()) ADD_FAILURE() << "chooser asked too often";
                return asked < c.answers.size() ? inScratch(c.answers[asked++]) : std::nullopt;
            },
            [&](const std::string& text) { problems.push_back(text); }, fs);
        EXPECT_EQ(asked, c.answers.size());
        EXPECT_EQ(choice ? std::optional(choice->root) : std::nullopt, inScratch(c.root));
        if (choice) {
            EXPECT_EQ(choice->ownFolder, c.programInLibrary);
        }
        ASSERT_EQ(problems.size(), c.problems);
        if (!problems.empty()) {
            EXPECT_NE(problems[0].find(scratch.Path(c.argument ? c.argument : c.answers[0])),
                      std::string::npos)
                << problems[0];
        }
    }
}

TEST(Library, DialogOnANamedFolderShowsItInTheCaptionAndChecksIt) {
    TempLibrary scratch;
    scratch.Write("my lib/Stock/a.stk", "name coach\r\n");
    scratch.Write("my lib/Stock/b.stk", "name coach\r\n");
    std::optional<LibraryChoice> choice = ChooseLibrary(
        scratch.Path("my lib"), scratch.Path("prog/"), [] { return std::nullopt; },
        [](const std::string& text) { ADD_FAILURE() << text; });
    ASSERT_TRUE(choice);

    CCorvaneDlg dialog(nullptr, choice->root, choice->ownFolder);
    dialog.Show();
    EXPECT_EQ(dialog.GetTitle().utf8_string(), "Corvane - " + scratch.Path("my lib"));
    dialog.RunCheck();
    EXPECT_EQ(dialog.FindWindow(IDC_DELETE_OLDER)->GetLabel(), "Delete 1 older items");
    EXPECT_TRUE(scratch.Exists("my lib/Corvane.htm"));
    EXPECT_EQ(dialog.ReportPath(), scratch.Path("my lib/Corvane.htm"));

    CCorvaneDlg own(nullptr, choice->root, true);
    EXPECT_EQ(own.GetTitle(), "Corvane");
}

}  // namespace
}  // namespace corvane::app
