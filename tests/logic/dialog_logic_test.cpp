// What the dialogs show, through a view that records it: the delete button
// after a failed delete, the status line after a failed command, and undo
// offered, asked for and greyed.
#include "app/logic/dialog_logic.h"

#include <gtest/gtest.h>

#include <optional>

#include "commands/commands.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane::app {
namespace {

using Message = DialogView::Message;

class FakeView final : public DialogView {
  public:
    void SetStatus(const std::string& text) override { status = text; }
    void RefreshStatus() override {}
    void SetDeleteButton(const std::string& text, bool on) override {
        label = text;
        enabled = on;
    }
    bool ShowMessage(Message kind, const std::string& text) override {
        messages.push_back({kind, text});
        return answer;
    }
    bool OpenDocument(const std::string&) override { return true; }

    std::string status, label = kDeleteOlderLabel;
    bool enabled = false;
    bool answer = true;  // to questions
    std::vector<std::pair<Message, std::string>> messages;
};

// The sample library (three older items in three files) and a dialog on it.
struct Dialog {
    testing::TempLibrary library;
    FakeView view;
    std::unique_ptr<DialogLogic> logic;
    explicit Dialog(platform::FileSystem& fs = platform::RealFileSystem()) {
        testing::PrepareSample(CORVANE_SAMPLE, library.Root());
        logic = std::make_unique<DialogLogic>(library.Root(), view, fs);
    }
};

TEST(DialogLogic, AFailedCommandSaysSoAndTheButtonOffersWhatIsLeft) {
    struct Case {
        const char* what;
        int failAt;  // the failing operation of the delete; 0: none
        bool busy;   // another command holds the library
        std::string status, label;
        bool enabled;
        size_t errors;
    };
    const Case cases[] = {
        {"a delete that works", 0, false, "Finished", "Delete 0 older items", false, 0},
        {"a delete whose second file cannot be read", 2, false, kDeleteStopped,
         "Delete 2 older items", true, 1},
        {"another command at work", 0, true, kDeleteStopped, "Delete 3 older items", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool armed = false;
        int opened = 0;
        testing::FaultyFileSystem fs(
            0, testing::FaultyFileSystem::Mode::kHook,
            [&](const std::string& what, const std::string& path) {
                if (armed && what == "open for reading" && ++opened == c.failAt) {
                    throw platform::FileError(what, path, "no way");
                }
            });
        Dialog d(fs);
        d.logic->RunCheck();
        ASSERT_EQ(d.view.label, "Delete 3 older items");
        armed = true;
        std::optional<LibraryLock> held;
        if (c.busy) held.emplace(d.library.Root());
        d.logic->DeleteOlderItems();
        EXPECT_EQ(d.view.status, c.status);
        EXPECT_EQ(d.view.label, c.label);
        EXPECT_EQ(d.view.enabled, c.enabled);
        EXPECT_EQ(d.view.messages.size(), c.errors);
    }
    // A check that fails says so and leaves the button as it was.
    Dialog d;
    d.library.MakeFolder("Corvane.htm/in-the-way");
    d.logic->RunCheck();
    EXPECT_EQ(d.view.status, kCheckFailed);
    EXPECT_EQ(d.view.label, kDeleteOlderLabel);
    ASSERT_EQ(d.view.messages.size(), 1u);
    EXPECT_EQ(d.view.messages[0].first, Message::kError);
}

TEST(DialogLogic, UndoIsOfferedWhileADeleteIsLeftAndAsksFirst) {
    Dialog d;
    EXPECT_FALSE(d.logic->CanUndo());
    const testing::Tree before = testing::TreeOf(d.library.Root(), true);
    d.logic->RunCheck();
    d.logic->DeleteOlderItems();
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
    EXPECT_EQ(d.view.status, "Finished");
    EXPECT_EQ(d.view.label, kDeleteOlderLabel);
    EXPECT_FALSE(d.view.enabled);
    EXPECT_FALSE(d.logic->CanUndo());
    EXPECT_EQ(testing::TreeOf(d.library.Root(), true), before);
}

}  // namespace
}  // namespace corvane::app
