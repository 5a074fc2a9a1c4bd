// The main dialog as a user meets it, on a real X display (Xvfb under ctest).
// Error boxes and the program that opens the report are seams, recorded here.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/menu.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <filesystem>

#include "app/corvane_dlg.h"
#include "app/ids.h"
#include "tests/support/test_library.h"

namespace {

using namespace corvane::app;

// What the user sees: the status line, the delete button's label and state.
using Moment = std::tuple<std::string, std::string, bool>;
const Moment kAtStart{"", "Delete older items", false};
const Moment kNothingOlder{"Finished", "Delete 0 older items", true};

// The dialog on a library of its own, with its seams taken: it records forced
// repaints, errors it would show, paths it would open, and its About entry.
struct Library {
    corvane::testing::TempLibrary library;
};
class Dlg : public Library, public CCorvaneDlg {
  public:
    Dlg() : CCorvaneDlg(nullptr, library.Root()) {
        SetMessageSink([this](wxWindow*, Message, const wxString& s) {
            errors.push_back(s.utf8_string());
            return true;
        });
        SetOpener([this](const wxString& path) {
            launched.push_back(path.utf8_string());
            return true;
        });
    }
    Moment Shown() const {
        wxWindow* button = FindWindow(IDC_DELETE_OLDER);
        return {static_cast<wxTextCtrl*>(FindWindow(IDC_STATUS))->GetValue().utf8_string(),
                button->GetLabel().utf8_string(), button->IsEnabled()};
    }
    void RefreshStatus() override {
        CCorvaneDlg::RefreshStatus();
        repaints.push_back(Shown());
    }
    void Click(int id) {
        wxCommandEvent click(wxEVT_BUTTON, id);
        repaints.clear();
        ProcessWindowEvent(click);
    }
    std::vector<Moment> repaints;  // of the last click
    std::vector<std::string> errors, launched;
    int aboutEntry = 0;
    void ShowMenu(wxMenu& menu) override {
        for (wxMenuItem* item : menu.GetMenuItems())
            if (item->GetItemLabelText() == "About Corvane...") aboutEntry = item->GetId();
    }
};

// Lets the event loop run until done() holds or ms pass; done()'s last answer.
bool WaitUntil(const std::function<bool()>& done, int ms = 3000) {
    wxLongLong end = wxGetLocalTimeMillis() + ms;
    for (; !done() && wxGetLocalTimeMillis() < end; wxMilliSleep(5)) wxTheApp->Yield(true);
    return done();
}
void Settle(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Runs the dialog modally and script in its loop; dialogs open after 5 s end with -2.
int RunModal(wxDialog& dialog, const std::function<void()>& script) {
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
        for (wxWindow* window : wxTopLevelWindows)
            if (auto* d = dynamic_cast<wxDialog*>(window); d && d->IsModal()) d->EndModal(-2);
    });
    watchdog.StartOnce(5000);
    dialog.CallAfter(script);
    return dialog.ShowModal();
}

// Real input with the pointer in the middle of window: key, or else a click.
void Input(wxWindow* window, int key, int button = wxMOUSE_BTN_LEFT) {
    wxUIActionSimulator sim;
    WaitUntil([&] { return window->IsShownOnScreen(); });
    sim.MouseMove(window->GetScreenRect().GetPosition() + window->GetSize() / 2);
    Settle(100);
    key ? sim.Char(key) : sim.MouseClick(button);
}

TEST(Dialog, CloseEscapeAndTheWindowsCloseEndItButCheckAndEnterDoNot) {
    // name, the control under the pointer (0: close the window), key (0: a click), ends
    const std::tuple<const char*, int, int, bool> cases[] = {
        {"click on Check", wxID_OK, 0, false},
        {"Enter", IDC_STATUS, WXK_RETURN, false},
        {"click on Close", wxID_CANCEL, 0, true},
        {"Escape", IDC_STATUS, WXK_ESCAPE, true},
        {"window's close", 0, 0, true}};
    for (const auto& [name, under, key, ends] : cases) {
        SCOPED_TRACE(name);
        Dlg dialog;
        int result = RunModal(dialog, [&] {
            under ? Input(dialog.FindWindow(under), key) : void(dialog.Close());
            Settle(300);  // time to check, and to end by mistake
            if (dialog.IsModal()) dialog.EndModal(wxID_ABORT);
        });
        EXPECT_EQ(result, ends ? wxID_CANCEL : wxID_ABORT);
        EXPECT_EQ(dialog.Shown(), ends ? kAtStart : kNothingOlder) << "whether a check ran";
    }
}

TEST(Dialog, AboutEntryOfTheRightClickMenuOpensTheAboutBox) {
    Dlg dialog;
    wxString title;
    RunModal(dialog, [&] {
        Input(dialog.FindWindow(IDC_STATUS), 0, wxMOUSE_BTN_RIGHT);
        ASSERT_TRUE(WaitUntil([&] { return dialog.aboutEntry != 0; }));
        dialog.CallAfter([&] {  // runs in the About box's modal loop
            auto* about = dynamic_cast<wxDialog*>(wxTopLevelWindows.GetLast()->GetData());
            title = about->GetTitle();
            if (about != &dialog) about->EndModal(wxID_OK);
        });
        wxCommandEvent choose(wxEVT_MENU, dialog.aboutEntry);
        dialog.ProcessWindowEvent(choose);
        dialog.EndModal(wxID_CANCEL);  // fails if the About box ended the dialog
    });
    EXPECT_EQ(title, "About Corvane");
}

// A check that fails leaves the delete button to the last complete check; the
// delete then shows each item as it goes and counts down.
TEST(Dialog, FailedCheckIsShownAndViewReportAndDeleteStillWork) {
    Dlg dialog;
    std::string prepare = "'" CORVANE_PREPARE_SAMPLE "' " + dialog.library.Root();
    ASSERT_EQ(std::system(prepare.c_str()), 0);
    const Moment threeOlder{"Finished", "Delete 3 older items", true};
    dialog.Show();
    dialog.Click(wxID_OK);
    EXPECT_EQ(dialog.Shown(), threeOlder);
    std::string report = dialog.library.Path("Corvane.htm");
    std::filesystem::remove(report);
    dialog.library.MakeFolder("Corvane.htm");  // the report cannot be written
    dialog.Click(wxID_OK);
    ASSERT_EQ(dialog.errors.size(), 1u);
    EXPECT_NE(dialog.errors[0].find(report), std::string::npos) << dialog.errors[0];
    EXPECT_EQ(dialog.Shown(), (Moment{"Check failed", "Delete 3 older items", true}));
    dialog.Click(IDC_VIEW_REPORT);  // hands the launcher the exact path
    EXPECT_EQ(dialog.launched, std::vector<std::string>{report});
    dialog.Click(IDC_DELETE_OLDER);
    const std::string brake = "mk1 brake in Stock/Coaches/Old/mk1brake.stk",
                      coach = "mk1 coach in Stock/Coaches/mk1_old.stk",
                      wall = "wall1 in Scenery/Walls/walls.stc";
    // Each item shown as its removal is planned; the count goes down as the
    // files are written.
    EXPECT_EQ(dialog.repaints, (std::vector<Moment>{{brake, "Delete 3 older items", true},
                                                    {coach, "Delete 3 older items", true},
                                                    {wall, "Delete 3 older items", true},
                                                    {wall, "Delete 2 older items", true},
                                                    {wall, "Delete 1 older items", true},
                                                    {wall, "Delete 0 older items", true},
                                                    {"Finished", "Delete 0 older items", true}}));
    EXPECT_EQ(dialog.Shown(), (Moment{"Finished", "Delete 0 older items", false}));
    EXPECT_TRUE(dialog.library.Exists("backup/Stock/Coaches/mk1_old.stk"));
    EXPECT_EQ(dialog.errors.size(), 1u);
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(wxApp);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A failed wxWidgets assertion fails the test instead of opening a box.
    wxSetAssertHandler([](const wxString& file, int line, const wxString&, const wxString& cond,
                          const wxString& msg) {
        ADD_FAILURE_AT(file.utf8_string().c_str(), line) << cond << " " << msg;
    });
    if (!wxEntryStart(argc, argv)) return 1;
    wxLog::SetActiveTarget(new wxLogStderr);
    int result = RUN_ALL_TESTS();
    wxEntryCleanup();
    return result;
}
