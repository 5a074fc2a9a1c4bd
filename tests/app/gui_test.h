// Helpers for tests that drive real windows: temporary libraries, a modal run
// with a time limit, and waiting for the display to catch up.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>

namespace corvane::test {

// A folder of its own under the system's temporary folder, removed with all
// it holds when the object goes. Root() ends in the separator.
class TempFolder {
  public:
    explicit TempFolder(const std::string& nameHint = "corvane-app");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Root() const { return m_Root; }

  private:
    std::string m_Root;
};

// Lays the bundled sample library, with its files' times, into folder.
void PrepareSample(const std::string& folder);

// ShowModal's result when the dialog was still open at the time limit.
inline constexpr int kTimedOut = -2;

// Runs the dialog modally and, once its modal loop runs, the script. Ends the
// dialog (and any box opened over it) with kTimedOut after limitMs.
int RunModal(wxDialog& dialog, const std::function<void()>& script, int limitMs = 5000);

// Lets the event loop run until done() holds or limitMs pass; done()'s last
// answer.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 3000);

// Lets pending events and painting happen.
void Settle(int ms = 50);

// The modal dialog opened over owner, if any.
wxDialog* ModalDialogOver(wxWindow* owner);

}  // namespace corvane::test
