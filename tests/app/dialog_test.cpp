// The wxWidgets dialog through its real widgets, on an X display (Xvfb under
// ctest): what each input does to it. What its commands show is the shared
// logic's (tests/logic); the message boxes and the program that opens the
// report are seams, recorded here.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/menu.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "app/corvane_dlg.h"
#include "app/ids.h"
#include "tests/support/test_library.h"

namespace {

// What the user sees: the status line, the delete button's label and state.
using Moment = std::tuple<std::string, std::string, bool>;

// The dialog away from its own folder, on a library with one older item.
class Dlg : public corvane::testing::TempLibrary, public CCorvaneDlg {
  public:
    Dlg() : CCorvaneDlg(nullptr, Root(), false) {
        Write("Stock/a.stk", "name coach\r\n", "2010-01-01 10:00");
        Write("Stock/b.stk", "name coach\r\n");
        SetMessageSink([this](wxWindow*, Message, const wxString& s) {
            errors.push_back(s.utf8_string());
            return true;
        });
        SetOpener([this](const wxString& path) {
            seen = path.utf8_string().substr(Root().size());
            return true;
        });
    }
    Moment Shown() const {
        wxWindow* button = FindWindow(IDC_DELETE_OLDER);
        return {static_cast<wxTextCtrl*>(FindWindow(IDC_STATUS))->GetValue().utf8_string(),
                button->GetLabel().utf8_string(), button->IsEnabled()};
    }
    // Chooses About on the right-click menu and records the box it opens.
    void ShowMenu(wxMenu& menu) override {
        for (wxMenuItem* item : menu.GetMenuItems()) {
            if (item->GetItemLabelText() != "About Corvane...") continue;
            CallAfter([this] {  // runs in the About box's modal loop
                auto* about = dynamic_cast<wxDialog*>(wxTopLevelWindows.GetLast()->GetData());
                seen = about->GetTitle().utf8_string();
                if (about != this) about->EndModal(wxID_OK);
            });
            wxCommandEvent choose(wxEVT_MENU, item->GetId());
            ProcessWindowEvent(choose);
        }
    }
    std::vector<std::string> errors;
    std::string seen;  // the report opened (relative), or the About box's title
};

// Lets the event loop run until done() holds or ms pass; done()'s last answer.
bool WaitUntil(const std::function<bool()>& done, int ms = 3000) {
    wxLongLong end = wxGetLocalTimeMillis() + ms;
    for (; !done() && wxGetLocalTimeMillis() < end; wxMilliSleep(5)) wxTheApp->Yield(true);
    return done();
}

// Real input with the pointer in the middle of the control id: key, or else a
// click.
void Input(wxWindow& dialog, int id, int key = 0, int button = wxMOUSE_BTN_LEFT) {
    wxWindow* window = dialog.FindWindow(id);
    wxUIActionSimulator sim;
    WaitUntil([&] { return window->IsShownOnScreen() && window->IsEnabled(); });
    sim.MouseMove(window->GetScreenRect().GetPosition() + window->GetSize() / 2);
    WaitUntil([] { return false; }, 100);
    key ? sim.Char(key) : sim.MouseClick(button);
    WaitUntil([] { return false; }, 300);  // time to act, and to end by mistake
}

TEST(Dialog, EachInputThroughTheRealWidgets) {
    struct Row {
        const char* what;
        std::function<void(Dlg&)> act;
        bool ends;
        Moment shown;
        std::string seen = "";
    };
    const Moment atStart{"", "Delete older items", false},
        checked{"Finished", "Delete 1 older items", true};
    const Row rows[] = {
        {"click on Check", [](Dlg& d) { Input(d, wxID_OK); }, false, checked},
        {"Enter", [](Dlg& d) { Input(d, IDC_STATUS, WXK_RETURN); }, false, checked},
        {"click on Close", [](Dlg& d) { Input(d, wxID_CANCEL); }, true, atStart},
        {"Escape", [](Dlg& d) { Input(d, IDC_STATUS, WXK_ESCAPE); }, true, atStart},
        {"the window's close", [](Dlg& d) { d.Close(); }, true, atStart},
        {"Check, then Delete",
         [](Dlg& d) {
             for (int id : {int(wxID_OK), IDC_DELETE_OLDER}) Input(d, id);
         },
         false,
         {"Finished", "Delete 0 older items", false}},
        {"View Report", [](Dlg& d) { Input(d, IDC_VIEW_REPORT); }, false, atStart, "Corvane.htm"},
        {"About on the right-click menu",
         [](Dlg& d) { Input(d, IDC_STATUS, 0, wxMOUSE_BTN_RIGHT); }, false, atStart,
         "About Corvane"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Dlg dialog;
        // Runs the dialog modally with the row in its loop; one left open
        // after 5 s ends with -2.
        wxTimer watchdog;
        watchdog.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            for (wxWindow* window : wxTopLevelWindows)
                if (auto* d = dynamic_cast<wxDialog*>(window); d && d->IsModal()) d->EndModal(-2);
        });
        watchdog.StartOnce(5000);
        dialog.CallAfter([&] {
            row.act(dialog);
            if (dialog.IsModal()) dialog.EndModal(wxID_ABORT);
        });
        EXPECT_EQ(dialog.ShowModal(), row.ends ? wxID_CANCEL : wxID_ABORT);
        EXPECT_EQ(dialog.Shown(), row.shown);
        EXPECT_EQ(dialog.seen, row.seen);
        EXPECT_EQ(dialog.errors, std::vector<std::string>{});
    }
    // The caption names the library, unless the dialog is in its own folder.
    Dlg away;
    EXPECT_EQ(away.GetTitle().utf8_string(),
              "Corvane - " + corvane::platform::WithoutTrailingSeparator(away.Root()));
    EXPECT_EQ(CCorvaneDlg(nullptr, "/", true).GetTitle(), "Corvane");
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
