// GoogleTest under a running wxWidgets application: the windows the tests
// make are real windows on the X display (Xvfb under ctest).
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

namespace {

class TestApp : public wxApp {
  public:
    // wxApp's own command-line parsing would reject GoogleTest's flags.
    bool OnInit() override { return true; }
};

// A failed wxWidgets assertion fails the running test instead of opening a
// box that nobody can answer.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wxWidgets assertion in " << func.utf8_string() << " (" << file.utf8_string()
                  << ":" << line << "): " << cond.utf8_string() << " " << msg.utf8_string();
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(FailOnAssert);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "app_tests: cannot open the display\n");
        return 1;
    }
    wxLog::SetActiveTarget(new wxLogStderr);
    wxTheApp->CallOnInit();
    int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
