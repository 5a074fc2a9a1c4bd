#include "app/corvane_dlg.h"

#include <wx/button.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <exception>

#include "app/about_dlg.h"
#include "app/icons.h"
#include "app/ids.h"
#include "audit/library_root.h"
#include "platform/codepage.h"
#include "platform/system.h"

using namespace corvane::app;

wxString DisplayText(const std::string& bytes) {
    return wxString::FromUTF8(corvane::platform::DisplayText(bytes));
}

namespace {

bool ShowMessageBox(wxWindow* parent, DialogView::Message kind, const wxString& text) {
    switch (kind) {
        case DialogView::Message::kError:
            wxMessageBox(text, kTitle, wxOK | wxICON_ERROR, parent);
            return true;
        case DialogView::Message::kInformation:
            wxMessageBox(text, kTitle, wxOK | wxICON_INFORMATION, parent);
            return true;
        case DialogView::Message::kQuestion:
            return wxMessageBox(text, kTitle, wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION, parent) ==
                   wxYES;
    }
    return false;
}

bool LaunchDefault(const wxString& path) {
    return corvane::platform::OpenDocument(path.utf8_string());
}

}  // namespace

CCorvaneDlg::CCorvaneDlg(wxWindow* parent, std::string libraryRoot, bool ownFolder)
    : wxDialog(parent, wxID_ANY,
               ownFolder ? wxString("Corvane")
                         : "Corvane - " +
                               DisplayText(std::string(corvane::FolderDisplayName(libraryRoot))),
               wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_Logic(std::move(libraryRoot), *this),
      m_ShowMessage(ShowMessageBox),
      m_Open(LaunchDefault) {
    CreateControls();

    // Check is wxID_OK: its handler does not skip the event, so neither the
    // button nor the Enter key ends the dialog. Close, Escape and the window's
    // close button end it through wxDialog's own handling of wxID_CANCEL.
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnCheck, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnDeleteOlder, this, IDC_DELETE_OLDER);
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnViewReport, this, IDC_VIEW_REPORT);
    Bind(wxEVT_CONTEXT_MENU, &CCorvaneDlg::OnContextMenu, this);
    Bind(wxEVT_MENU, &CCorvaneDlg::OnAbout, this, IDM_ABOUTBOX);
    Bind(wxEVT_MENU, &CCorvaneDlg::OnUndo, this, IDM_UNDODELETE);
    SetIcons(AppIcons());
#ifdef __WXMSW__
    if (wxMenu* systemMenu = MSWGetSystemMenu()) {
        systemMenu->AppendSeparator();
        systemMenu->Append(IDM_ABOUTBOX, kAboutEntry);
    }
#endif
    TransferStatus();
    Centre();
}

// The controls in tab order, placed in dialog units.
void CCorvaneDlg::CreateControls() {
    SetClientSize(wxDLG_UNIT(this, wxSize(320, 54)));
    auto place = [this](int x, int y) { return wxDLG_UNIT(this, wxPoint(x, y)); };
    auto size = [this](int w, int h) { return wxDLG_UNIT(this, wxSize(w, h)); };

    auto* check = new wxButton(this, wxID_OK, "Check", place(57, 31), size(50, 16));
    new wxButton(this, wxID_CANCEL, "Close", place(279, 31), size(34, 16));
    m_pStatus = new wxTextCtrl(this, IDC_STATUS, wxEmptyString, place(7, 7), size(306, 14),
                               wxTE_READONLY | wxBORDER_NONE);
    m_pDeleteOlder =
        new wxButton(this, IDC_DELETE_OLDER, kDeleteOlderLabel, place(113, 31), size(86, 14));
    m_pDeleteOlder->Disable();
    new wxButton(this, IDC_VIEW_REPORT, "View Report", place(210, 31), size(50, 14));

    check->SetDefault();
    check->SetFocus();
    SetEscapeId(wxID_CANCEL);
}

void CCorvaneDlg::TransferStatus() {
    if (m_pStatus) m_pStatus->ChangeValue(DisplayText(m_Status));
}

void CCorvaneDlg::SetStatus(const std::string& text) {
    m_Status = text;
    TransferStatus();
}

void CCorvaneDlg::RefreshStatus() {
    TransferStatus();
    Refresh();
    Update();
}

void CCorvaneDlg::SetDeleteButton(const std::string& label, bool enabled) {
    m_pDeleteOlder->SetLabel(DisplayText(label));
    m_pDeleteOlder->Enable(enabled);
}

bool CCorvaneDlg::ShowMessage(Message kind, const std::string& text) {
    return m_ShowMessage(this, kind, DisplayText(text));
}

bool CCorvaneDlg::OpenDocument(const std::string& path) {
    return m_Open(wxString::FromUTF8(path));
}

void CCorvaneDlg::ShowMenu(wxMenu& menu) {
    PopupMenu(&menu);
}

void CCorvaneDlg::OnCheck(wxCommandEvent&) {
    RunCheck();
}

void CCorvaneDlg::OnDeleteOlder(wxCommandEvent&) {
    DeleteOlderItems();
}

void CCorvaneDlg::OnViewReport(wxCommandEvent&) {
    ViewReport();
}

void CCorvaneDlg::OnContextMenu(wxContextMenuEvent&) {
    wxMenu menu;
    menu.Append(IDM_UNDODELETE, kUndoEntry);
    menu.Enable(IDM_UNDODELETE, m_Logic.CanUndo());
    menu.Append(IDM_ABOUTBOX, kAboutEntry);
    ShowMenu(menu);
}

void CCorvaneDlg::OnUndo(wxCommandEvent&) {
    UndoLastDelete();
}

void CCorvaneDlg::OnAbout(wxCommandEvent&) {
    CAboutDlg about(this);
    about.ShowModal();
}
