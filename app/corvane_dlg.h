// The main dialog: a status line and the Check, Delete older items, View
// Report and Close buttons. It keeps the older items of the last complete
// check for the delete button, and shows the progress of the commands it
// runs.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "audit/findings.h"
#include "audit/progress.h"

class wxButton;
class wxMenu;
class wxTextCtrl;

class CCorvaneDlg : public wxDialog, public corvane::ProgressObserver {
  public:
    // Tells the user that a command failed; the text names the file and what
    // failed.
    using ErrorSink = std::function<void(wxWindow* parent, const wxString& text)>;
    // Opens a document with the program the desktop associates with its type;
    // false when no such program could be started.
    using Launcher = std::function<bool(const wxString& path)>;

    // libraryRoot ends in the separator; the report lies in it. Away from the
    // program's own folder the caption names the library's folder.
    CCorvaneDlg(wxWindow* parent, std::string libraryRoot, bool ownFolder = true);

    void SetErrorSink(ErrorSink sink) { m_ShowError = std::move(sink); }
    void SetLauncher(Launcher launcher) { m_Launch = std::move(launcher); }

    // The commands. Each runs to its end before the dialog takes more input;
    // a command that fails tells the user and leaves the dialog as usable as
    // before.
    void RunCheck();
    void DeleteOlderItems();
    void ViewReport();

    // Progress: the status line and the delete button's count follow the
    // command at once.
    void Status(const std::string& text) override;
    void ItemRemoved(const corvane::OlderItem& item, size_t left) override;

    const std::string& ReportPath() const { return m_ReportPath; }

  protected:
    // Shows the dialog's menu where the user asked for it.
    virtual void ShowMenu(wxMenu& menu);

    // Puts the status line on the screen now.
    virtual void RefreshStatus();

  private:
    void CreateControls();
    void TransferStatus();
    // "Delete N older items", enabled or not.
    void ShowDeleteButton(size_t olderItems, bool enabled);
    // Runs one command, turning a failure into a message to the user.
    void RunCommand(const std::function<void()>& command);

    void OnCheck(wxCommandEvent& event);
    void OnDeleteOlder(wxCommandEvent& event);
    void OnViewReport(wxCommandEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnAbout(wxCommandEvent& event);

    // The older items of the last complete check not yet taken out.
    std::vector<corvane::OlderItem> m_OlderItems;
    size_t m_ItemsLeft = 0;  // of the delete command running
    std::string m_Status;
    std::string m_LibraryRoot;
    std::string m_ReportPath;
    wxTextCtrl* m_pStatus = nullptr;
    wxButton* m_pDeleteOlder = nullptr;
    ErrorSink m_ShowError;
    Launcher m_Launch;
};

// A text of the library (a path, a line, an item name) as the window shows it:
// UTF-8 where the bytes are valid UTF-8, otherwise one character per byte.
wxString DisplayText(const std::string& bytes);
