// What both dialogs do and show, through a view that records it: the library
// they open on, the status line and delete button after each command, failed
// ones included, and undo offered, asked for and greyed.
#include "app/logic/dialog_logic.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/logic/library_choice.h"
#include "commands/commands.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane::app {
namespace {

using Message = DialogView::Message;
using testing::FaultyFileSystem;
using testing::TempLibrary;

TEST(LibraryChoice, NamedFolderElseOwnFolderElseTheUsersChoice) {
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
    FaultyFileSystem fs([](const std::string& what, const std::string& path) {
        if (path.find("locked") != std::string::npos) throw platform::FileError(what, path, "no");
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempLibrary scratch;
        for (const char* folder :
             {"prog", "prog-lib/Stock", "lib/ohle", "plain/Stuff", "locked/Stock"}) {
            scratch.MakeFolder(folder);
        }
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
        EXPECT_TRUE(!choice || choice->ownFolder == c.programInLibrary);
        ASSERT_EQ(problems.size(), c.problems);
        if (!problems.empty()) {
            EXPECT_NE(problems[0].find(scratch.Path(c.argument ? c.argument : c.answers[0])),
                      std::string::npos)
                << problems[0];
        }
    }
}

// What the window shows: the status line, the delete button's label and state.
using Shown = std::tuple<std::string, std::string, bool>;

class FakeView final : public DialogView {
  public:
    void SetStatus(const std::string& text) override { status = text; }
    void RefreshStatus() override { repaints.push_back(Now()); }
    void SetDeleteButton(const std::string& text, bool on) override { button = {text, on}; }
    bool ShowMessage(Message kind, const std::string& text) override {
        messages.push_back({kind, text});
        return answer;
    }
    bool OpenDocument(const std::string& path) override {
        opened.push_back(path);
        return opens;
    }
    Shown Now() const { return {status, button.first, button.second}; }

    std::string status;
    std::pair<std::string, bool> button = {kDeleteOlderLabel, false};
    std::vector<Shown> repaints;
    bool answer = true;  // to questions
    bool opens = true;   // a program shows the report
    std::vector<std::pair<Message, std::string>> messages;
    std::vector<std::string> opened;
};

// A library with older copies of a, b and c, each in a file of its own, and a
// dialog on it.
struct Dialog {
    TempLibrary library;
    FakeView view;
    std::unique_ptr<DialogLogic> logic;
    explicit Dialog(platform::FileSystem& fs = platform::RealFileSystem()) {
        for (const std::string name : {"a", "b", "c"}) {
            library.Write("Stock/" + name + ".stk", "name " + name + "\r\n", "2010-01-01 10:00");
        }
        library.Write("Stock/new.stk", testing::CrLf({"name a", "name b", "name c"}));
        logic = std::make_unique<DialogLogic>(library.Root(), view, fs);
    }
};

TEST(DialogLogic, WhatEachCommandLeavesShownAndFailuresNameTheirFile) {
    enum Fault { kNone, kReadB, kBusy, kNoReport, kNoProgram };
    struct Case {
        const char* what;
        const char* steps;  // Check, Delete, View Report; in capitals: with the fault
        Fault fault;
        const char* status;
        int older;  // what the button offers; -1: no check yet
        bool enabled;
        const char* named;  // the file the error names, or none
    };
    const Case cases[] = {
        {"a check", "c", kNone, "Finished", 3, true, nullptr},
        {"a delete", "cd", kNone, "Finished", 0, false, nullptr},
        {"a delete that cannot read b", "cD", kReadB, kDeleteStopped, 2, true, "Stock/b.stk"},
        {"a delete after it takes the rest", "cDd", kReadB, "Finished", 0, false, "Stock/b.stk"},
        {"a delete while another command works", "cD", kBusy, kDeleteStopped, 3, true, ""},
        {"a check that writes no report", "C", kNoReport, kCheckFailed, -1, false, "Corvane.htm"},
        // The button keeps the items of the last complete check.
        {"a failed check after one", "cC", kNoReport, kCheckFailed, 3, true, "Corvane.htm"},
        {"a delete after it", "cCd", kNoReport, "Finished", 0, false, "Corvane.htm"},
        {"View Report", "v", kNone, "", -1, false, nullptr},
        {"View Report with no program", "V", kNoProgram, "", -1, false, "Corvane.htm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool faulty = false;
        int reads = 0;
        FaultyFileSystem fs([&](const std::string& what, const std::string& path) {
            if (faulty && ((c.fault == kReadB && what == "open for reading" && ++reads == 2) ||
                           (c.fault == kNoReport && path.ends_with("Corvane.htm")))) {
                throw platform::FileError(what, path, "no way");
            }
        });
        Dialog d(fs);
        for (const char step : std::string(c.steps)) {
            faulty = std::isupper(step);
            std::optional<LibraryLock> held;
            if (faulty && c.fault == kBusy) held.emplace(d.library.Root());
            d.view.opens = !(faulty && c.fault == kNoProgram);
            if (std::tolower(step) == 'c') d.logic->RunCheck();
            if (std::tolower(step) == 'd') d.logic->DeleteOlderItems();
            if (std::tolower(step) == 'v') d.logic->ViewReport();
        }
        const std::string label = c.older < 0 ? kDeleteOlderLabel : DeleteButtonLabel(c.older);
        EXPECT_EQ(d.view.Now(), (Shown{c.status, label, c.enabled}));
        ASSERT_EQ(d.view.messages.size(), c.named ? 1u : 0u);
        if (c.named) {
            const std::string named = platform::WithoutTrailingSeparator(d.library.Path(c.named));
            EXPECT_EQ(d.view.messages[0].first, Message::kError);
            EXPECT_NE(d.view.messages[0].second.find(named), std::string::npos)
                << d.view.messages[0].second;
        }
        if (std::string(c.steps).ends_with('v')) {
            EXPECT_EQ(d.view.opened, std::vector<std::string>{d.library.Path("Corvane.htm")});
        }
    }
}

TEST(DialogLogic, ADeleteCountsDownAsFilesAreWrittenAndUndoAsksFirst) {
    Dialog d;
    EXPECT_FALSE(d.logic->CanUndo());
    const testing::Tree before = testing::TreeOf(d.library.Root(), true);
    d.logic->RunCheck();
    d.view.repaints.clear();
    d.logic->DeleteOlderItems();
    // Each item shown as its removal is planned; the count goes down as the
    // files are written.
    const std::string three = DeleteButtonLabel(3), c = testing::Native("c in Stock/c.stk");
    EXPECT_EQ(d.view.repaints,
              (std::vector<Shown>{{testing::Native("a in Stock/a.stk"), three, true},
                                  {testing::Native("b in Stock/b.stk"), three, true},
                                  {c, three, true},
                                  {c, DeleteButtonLabel(2), true},
                                  {c, DeleteButtonLabel(1), true},
                                  {c, DeleteButtonLabel(0), true},
                                  {"Finished", DeleteButtonLabel(0), true}}));
    ASSERT_TRUE(d.logic->CanUndo());

    // No keeps everything as it is; the question names the delete.
    d.view.answer = false;
    d.logic->UndoLastDelete();
    ASSERT_EQ(d.view.messages.size(), 1u);
    EXPECT_EQ(d.view.messages[0].first, Message::kQuestion);
    const std::string& question = d.view.messages[0].second;
    EXPECT_EQ(question.substr(0, 20), "Undo the delete of 2");
    EXPECT_NE(question.find("3 older items go back into their 3 files"), std::string::npos)
        << question;
    EXPECT_TRUE(d.logic->CanUndo());

    d.view.answer = true;
    d.logic->UndoLastDelete();
    ASSERT_EQ(d.view.messages.size(), 3u);
    EXPECT_EQ(d.view.messages[2].first, Message::kInformation);
    EXPECT_EQ(d.view.messages[2].second.substr(0, 33), "Put back 3 files of the delete of");
    EXPECT_EQ(d.view.Now(), (Shown{"Finished", kDeleteOlderLabel, false}));
    EXPECT_FALSE(d.logic->CanUndo());
    EXPECT_EQ(testing::TreeOf(d.library.Root(), true), before);
}

}  // namespace
}  // namespace corvane::app
