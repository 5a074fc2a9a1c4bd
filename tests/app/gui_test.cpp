#include "gui_test.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <wx/app.h>
#include <wx/timer.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>

namespace corvane::test {

TempFolder::TempFolder(const std::string& nameHint) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (nameHint + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
    m_Root = pattern + "/";
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_Root, ignored);
}

void PrepareSample(const std::string& folder) {
    std::string command =
        std::string("'") + CORVANE_SOURCE_DIR + "/tools/prepare-sample' '" + folder + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

wxDialog* ModalDialogOver(wxWindow* owner) {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog && dialog != owner && dialog->IsModal()) return dialog;
    }
    return nullptr;
}

int RunModal(wxDialog& dialog, const std::function<void()>& script, int limitMs) {
    wxTimer watchdog;
    bool timedOut = false;
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        timedOut = true;
        while (wxDialog* over = ModalDialogOver(&dialog)) over->EndModal(kTimedOut);
        if (dialog.IsModal()) dialog.EndModal(kTimedOut);
    });
    watchdog.StartOnce(limitMs);
    dialog.CallAfter([&] {
        if (!timedOut) script();
    });
    int result = dialog.ShowModal();
    watchdog.Stop();
    if (timedOut) ADD_FAILURE() << "the dialog was still open after " << limitMs << " ms";
    return timedOut ? kTimedOut : result;
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    wxLongLong end = wxGetLocalTimeMillis() + limitMs;
    while (!done()) {
        if (wxGetLocalTimeMillis() > end) return done();
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return true;
}

void Settle(int ms) {
    WaitUntil([] { return false; }, ms);
}

}  // namespace corvane::test
