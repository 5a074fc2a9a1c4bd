// The main dialog as a user meets it: what the status line and the delete
// button show at each moment, which keys and clicks end it, its menu and About
// box, failing commands and View Report.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/button.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/ids.h"
#include "gui_test.h"

namespace {

using corvane::app::IDC_DELETE_OLDER;
using corvane::app::IDC_STATUS;
using corvane::app::IDC_VIEW_REPORT;
using corvane::app::IDM_ABOUTBOX;
using corvane::test::ModalDialogOver;
using corvane::test::RunModal;
using corvane::test::Settle;
using corvane::test::TempFolder;
using corvane::test::WaitUntil;

// What the user sees of the progress: the status line's text and the delete
// button's label and state.
struct Moment {
    std::string status;
    std::string label;
    bool enabled;
    bool operator==(const Moment&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Moment& m) {
    return out << "{\"" << m.status << "\", \"" << m.label << "\", "
               << (m.enabled ? "enabled" : "disabled") << "}";
}

// The dialog with its seams taken: it records what the controls show each
// time a command repaints, the errors it would show, the paths it would open
// and the menus it would pop up.
class RecordingDlg : public CCorvaneDlg {
  public:
    explicit RecordingDlg(const std::string& root) : CCorvaneDlg(nullptr, root) {
        SetErrorSink(
            [this](wxWindow*, const wxString& text) { errors.push_back(text.utf8_string()); });
        SetLauncher([this](const wxString& path) {
            launched.push_back(path.utf8_string());
            return launchSucceeds;
        });
    }

    Moment Shown() const {
        auto* status = dynamic_cast<wxTextCtrl*>(FindWindow(IDC_STATUS));
        auto* button = dynamic_cast<wxButton*>(FindWindow(IDC_DELETE_OLDER));
        return {status->GetValue().utf8_string(), button->GetLabel().utf8_string(),
                button->IsEnabled()};
    }

    void RefreshStatus() override {
        CCorvaneDlg::RefreshStatus();
        repaints.push_back(Shown());
    }

    void Click(int id) {
        wxCommandEvent click(wxEVT_BUTTON, id);
        click.SetEventObject(FindWindow(id));
        ProcessWindowEvent(click);
    }

    std::vector<Moment> repaints;
    std::vector<std::string> errors;
    std::vector<std::string> launched;
    bool launchSucceeds = true;
    std::vector<std::pair<int, std::string>> menus;  // entries of the menus popped up

  protected:
    void ShowMenu(wxMenu& menu) override {
        for (wxMenuItem* item : menu.GetMenuItems()) {
            menus.emplace_back(item->GetId(), item->GetItemLabel().utf8_string());
        }
    }
};

// The screen position of the middle of a window.
wxPoint MiddleOf(wxWindow* window) {
    wxRect rect = window->GetScreenRect();
    return rect.GetPosition() + wxSize(rect.width / 2, rect.height / 2);
}

const Moment kAtStart{"", "Delete older items", false};

TEST(DialogMoments, StatusLineAndDeleteButtonFollowTheCommands) {
    struct Step {
        const char* command;           // "check" or "delete"
        std::vector<Moment> repaints;  // what each forced repaint showed
        Moment after;
    };
    struct Case {
        const char* name;
        bool sample;  // the bundled sample library, or an empty one
        std::vector<Step> steps;
    };
    const std::vector<Moment> kSampleDeletes = {
        {"mk1 brake in Stock/Coaches/Old/mk1brake.stk", "Delete 3 older items", true},
        {"mk1 brake in Stock/Coaches/Old/mk1brake.stk", "Delete 2 older items", true},
        {"mk1 coach in Stock/Coaches/mk1_old.stk", "Delete 2 older items", true},
        {"mk1 coach in Stock/Coaches/mk1_old.stk", "Delete 1 older items", true},
        {"wall1 in Scenery/Walls/walls.stc", "Delete 1 older items", true},
        {"wall1 in Scenery/Walls/walls.stc", "Delete 0 older items", true},
        {"Finished", "Delete 0 older items", false},
    };
    const std::vector<Case> cases = {
        {"start", false, {}},
        {"check finding 3", true, {{"check", {}, {"Finished", "Delete 3 older items", true}}}},
        {"delete after check",
         true,
         {{"check", {}, {"Finished", "Delete 3 older items", true}},
          {"delete", kSampleDeletes, {"Finished", "Delete 0 older items", false}},
          {"check", {}, {"Finished", "Delete 0 older items", true}}}},
        {"delete with nothing queued",
         false,
         {{"check", {}, {"Finished", "Delete 0 older items", true}},
          {"delete",
           {{"Finished", "Delete 0 older items", false}},
           {"Finished", "Delete 0 older items", false}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder library;
        if (c.sample) corvane::test::PrepareSample(library.Root());
        RecordingDlg dialog(library.Root());
        dialog.Show();
        EXPECT_EQ(dialog.Shown(), kAtStart);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.command);
            Moment before = dialog.Shown();
            dialog.repaints.clear();
            bool check = std::string(step.command) == "check";
            dialog.Click(check ? wxID_OK : IDC_DELETE_OLDER);
            EXPECT_EQ(dialog.Shown(), step.after);
            if (check) {
                // During a check the status line shows the folder being walked,
                // below the library root, and the button stays as it was.
                ASSERT_FALSE(dialog.repaints.empty());
                for (const Moment& m : dialog.repaints) {
                    EXPECT_EQ(m.label, before.label);
                    EXPECT_EQ(m.enabled, before.enabled);
                    EXPECT_FALSE(m.status.starts_with("/")) << m.status;
                }
                if (c.sample) {
                    EXPECT_NE(std::find_if(
                                  dialog.repaints.begin(), dialog.repaints.end(),
                                  [](const Moment& m) { return m.status == "Stock/Coaches/Old"; }),
                              dialog.repaints.end());
                }
            } else {
                EXPECT_EQ(dialog.repaints, step.repaints);
            }
        }
        EXPECT_TRUE(dialog.errors.empty()) << dialog.errors.front();
    }
}

// Keys and clicks, as the display delivers them, on a dialog that runs
// modally as the program runs it.
TEST(DialogEnding, OnlyCloseEscapeAndTheWindowsCloseEndTheDialog) {
    struct Case {
        const char* name;
        std::function<void(RecordingDlg&)> act;
        bool ends;
    };
    auto clickOn = [](int id) {
        return [id](RecordingDlg& dialog) {
            wxUIActionSimulator sim;
            sim.MouseMove(MiddleOf(dialog.FindWindow(id)));
            Settle();
            sim.MouseClick();
        };
    };
    auto press = [](int key) {
        return [key](RecordingDlg& dialog) {
            wxUIActionSimulator sim;
            sim.MouseMove(MiddleOf(dialog.FindWindow(IDC_STATUS)));
            Settle();
            sim.Char(key);
        };
    };
    const std::vector<Case> cases = {
        {"click on Check", clickOn(wxID_OK), false},
        {"Enter", press(WXK_RETURN), false},
        {"click on Close", clickOn(wxID_CANCEL), true},
        {"Escape", press(WXK_ESCAPE), true},
        {"window's close", [](RecordingDlg& dialog) { dialog.Close(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder library;
        RecordingDlg dialog(library.Root());
        bool checked = false;
        int result = RunModal(dialog, [&] {
            WaitUntil([&] { return dialog.IsShownOnScreen(); });
            Settle(100);
            c.act(dialog);
            if (c.ends) return;
            checked = WaitUntil([&] { return dialog.Shown().status == "Finished"; });
            Settle(100);
            EXPECT_TRUE(dialog.IsModal());
            dialog.EndModal(wxID_ABORT);
        });
        if (c.ends) {
            EXPECT_EQ(result, wxID_CANCEL);
            EXPECT_EQ(dialog.Shown(), kAtStart) << "no check may run";
        } else {
            EXPECT_TRUE(checked) << "the check did not run";
            EXPECT_EQ(result, wxID_ABORT) << "the dialog ended by itself";
        }
    }
}

// The About entry is in the menu that a right click anywhere on the dialog or
// the keyboard's menu key brings up; choosing it opens the About box.
TEST(DialogAbout, MenuEntryOpensTheAboutBox) {
    struct Case {
        const char* name;
        std::function<void(RecordingDlg&)> ask;
    };
    const std::vector<Case> cases = {
        {"right click on the status line",
         [](RecordingDlg& dialog) {
             wxUIActionSimulator sim;
             sim.MouseMove(MiddleOf(dialog.FindWindow(IDC_STATUS)));
             Settle();
             sim.MouseClick(wxMOUSE_BTN_RIGHT);
         }},
        {"Shift+F10",
         [](RecordingDlg& dialog) {
             wxUIActionSimulator sim;
             sim.MouseMove(MiddleOf(dialog.FindWindow(wxID_OK)));
             Settle();
             sim.Char(WXK_F10, wxMOD_SHIFT);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder library;
        RecordingDlg dialog(library.Root());
        RunModal(dialog, [&] {
            WaitUntil([&] { return dialog.IsShownOnScreen(); });
            Settle(100);
            c.ask(dialog);
            WaitUntil([&] { return !dialog.menus.empty(); });
            dialog.EndModal(wxID_CANCEL);
        });
        using Entry = std::pair<int, std::string>;
        EXPECT_EQ(dialog.menus, (std::vector<Entry>{{IDM_ABOUTBOX, "&About Corvane..."}}));
    }

    TempFolder library;
    RecordingDlg dialog(library.Root());
    std::string caption;
    std::vector<std::string> texts;
    bool icon = false;
    int aboutResult = 0;
    RunModal(dialog, [&] {
        dialog.CallAfter([&] {
            wxDialog* about = nullptr;
            WaitUntil([&] { return (about = ModalDialogOver(&dialog)) != nullptr; });
            if (!about) return;
            caption = about->GetTitle().utf8_string();
            for (wxWindow* child : about->GetChildren()) {
                if (auto* text = dynamic_cast<wxStaticText*>(child)) {
                    texts.push_back(text->GetLabel().utf8_string());
                }
                if (auto* button = dynamic_cast<wxButton*>(child)) {
                    texts.push_back(button->GetLabel().utf8_string());
                }
                if (auto* bitmap = dynamic_cast<wxStaticBitmap*>(child)) {
                    icon = bitmap->GetBitmap().IsOk();
                }
            }
            about->CallAfter([about] {
                wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                about->ProcessWindowEvent(ok);
            });
        });
        wxCommandEvent choose(wxEVT_MENU, IDM_ABOUTBOX);
        dialog.ProcessWindowEvent(choose);
        aboutResult = 1;
        EXPECT_TRUE(dialog.IsModal()) << "the About box ended the dialog";
        dialog.EndModal(wxID_CANCEL);
    });
    EXPECT_EQ(aboutResult, 1);
    EXPECT_EQ(caption, "About Corvane");
    EXPECT_EQ(texts, (std::vector<std::string>{"Corvane Version 1.0", "OK"}));
    EXPECT_TRUE(icon);
}

// A command that fails tells the user what failed on which file, and the
// dialog goes on working.
TEST(DialogErrors, FailingCommandIsShownAndTheDialogStaysUsable) {
    // The report cannot be created: a folder stands in its place.
    {
        TempFolder library;
        std::string report = library.Root() + "Corvane.htm";
        ASSERT_EQ(::mkdir(report.c_str(), 0755), 0);
        RecordingDlg dialog(library.Root());
        dialog.Show();
        dialog.Click(wxID_OK);
        ASSERT_EQ(dialog.errors.size(), 1u);
        EXPECT_NE(dialog.errors[0].find(report), std::string::npos) << dialog.errors[0];
        EXPECT_EQ(dialog.Shown(), kAtStart);
        EXPECT_TRUE(dialog.IsShown());

        std::filesystem::remove(report);
        dialog.Click(wxID_OK);
        EXPECT_EQ(dialog.Shown(), (Moment{"Finished", "Delete 0 older items", true}));
        EXPECT_EQ(dialog.errors.size(), 1u);
    }
    // A queued file has gone between the check and the delete: the delete
    // stops at it, and the next click goes on with the rest.
    {
        TempFolder library;
        corvane::test::PrepareSample(library.Root());
        RecordingDlg dialog(library.Root());
        dialog.Show();
        dialog.Click(wxID_OK);
        std::string gone = "Stock/Coaches/Old/mk1brake.stk";
        ASSERT_TRUE(std::filesystem::remove(library.Root() + gone));
        dialog.Click(IDC_DELETE_OLDER);
        ASSERT_EQ(dialog.errors.size(), 1u);
        EXPECT_NE(dialog.errors[0].find(gone), std::string::npos) << dialog.errors[0];
        EXPECT_EQ(dialog.Shown(), (Moment{"mk1 brake in " + gone, "Delete 3 older items", true}));

        dialog.Click(IDC_DELETE_OLDER);
        EXPECT_EQ(dialog.Shown(), (Moment{"Finished", "Delete 0 older items", false}));
        EXPECT_EQ(dialog.errors.size(), 1u);
    }
}

TEST(DialogViewReport, HandsTheReportPathToTheDesktop) {
    struct Case {
        const char* name;
        const char* folderHint;
        bool launchSucceeds;
    };
    const std::vector<Case> cases = {
        {"plain path", "library", true},
        {"blanks and shell characters", "my library; $(x) 'it' & \"co\"", true},
        {"no program to open it", "library", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder library(c.folderHint);
        std::string report = library.Root() + "Corvane.htm";
        RecordingDlg dialog(library.Root());
        dialog.launchSucceeds = c.launchSucceeds;
        dialog.Show();
        dialog.Click(IDC_VIEW_REPORT);
        EXPECT_EQ(dialog.launched, std::vector<std::string>{report});
        if (c.launchSucceeds) {
            EXPECT_TRUE(dialog.errors.empty());
        } else {
            ASSERT_EQ(dialog.errors.size(), 1u);
            EXPECT_NE(dialog.errors[0].find(report), std::string::npos) << dialog.errors[0];
        }
        EXPECT_EQ(dialog.Shown(), kAtStart);
    }
}

// Library texts are bytes: item names in a legacy code page must still show.
TEST(DialogText, LibraryBytesAlwaysShow) {
    const std::vector<std::pair<std::string, wxString>> cases = {
        {"", ""},
        {"Stock/Coaches", "Stock/Coaches"},
        {"caf\xc3\xa9 in Stock/a.stk", wxString::FromUTF8("caf\xc3\xa9 in Stock/a.stk")},
        {"caf\xe9 in Stock/a.stk", wxString(L"caf\u00e9 in Stock/a.stk")},
    };
    for (const auto& [bytes, shown] : cases) {
        EXPECT_EQ(DisplayText(bytes), shown) << bytes;
    }
}

}  // namespace
