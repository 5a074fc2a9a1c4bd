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
    // Shows a message box over parent; for a question, true when the user
    // says yes.
    using MessageSink = std::function<bool(wxWindow* parent, Message kind, const wxString& text)>;
    // Opens a document with the program the desktop associates with its type;
    // false when no such program could be started.
    using Opener = std::function<bool(const wxString& path)>;

    // libraryRoot ends in the separator; the report lies in it. Away from the
    // program's own folder the caption names the library's folder.
    CCorvaneDlg(wxWindow* parent, std::string libraryRoot, bool ownFolder = true);

    void SetMessageSink(MessageSink sink) { m_ShowMessage = std::move(sink); }
    void SetOpener(Opener opener) { m_Open = std::move(opener); }

    // The commands. Each runs to its end before the dialog takes more input.
    void RunCheck() { m_Logic.RunCheck(); }
    void DeleteOlderItems() { m_Logic.DeleteOlderItems(); }
    void ViewReport() { m_Logic.ViewReport(); }
    void UndoLastDelete() { m_Logic.UndoLastDelete(); }

    void SetStatus(const std::string& text) override;
    void SetDeleteButton(const std::string& label, bool enabled) override;
    bool ShowMessage(Message kind, const std::string& text) override;
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
    void OnUndo(wxCommandEvent& event);

    corvane::app::DialogLogic m_Logic;
    std::string m_Status;
    wxTextCtrl* m_pStatus = nullptr;
    wxButton* m_pDeleteOlder = nullptr;
    MessageSink m_ShowMessage;
    Opener m_Open;
};

// A text of the library (a path, a line, an item name) as the window shows it
// (platform::DisplayText).
wxString DisplayText(const std::string& bytes);
