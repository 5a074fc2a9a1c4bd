// The main dialog: a status line and the Check, Delete older items, View
// Report and Close buttons. What it does is the shared dialog logic; this is
// its window.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "app/logic/dialog_logic.h"

class wxButton;
class wxMenu;
class wxTextCtrl;

class CCorvaneDlg : public wxDialog, public corvane::app::DialogView {
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

    // The commands. Each runs to its end before the dialog takes more input.
    void RunCheck() { m_Logic.RunCheck(); }
    void DeleteOlderItems() { m_Logic.DeleteOlderItems(); }
    void ViewReport() { m_Logic.ViewReport(); }

    const std::string& ReportPath() const { return m_Logic.ReportPath(); }

    void SetStatus(const std::string& text) override;
    void SetDeleteButton(const std::string& label, bool enabled) override;
    void ShowError(const std::string& text) override;
    bool OpenDocument(const std::string& path) override;

  protected:
    // Shows the dialog's menu where the user asked for it.
    virtual void ShowMenu(wxMenu& menu);

    void RefreshStatus() override;

  private:
    void CreateControls();
    void TransferStatus();

    void OnCheck(wxCommandEvent& event);
    void OnDeleteOlder(wxCommandEvent& event);
    void OnViewReport(wxCommandEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnAbout(wxCommandEvent& event);

    corvane::app::DialogLogic m_Logic;
    std::string m_Status;
    wxTextCtrl* m_pStatus = nullptr;
    wxButton* m_pDeleteOlder = nullptr;
    ErrorSink m_ShowError;
    Launcher m_Launch;
};

// A text of the library (a path, a line, an item name) as the window shows it:
// UTF-8 where the bytes are valid UTF-8, otherwise one character per byte.
wxString DisplayText(const std::string& bytes);
