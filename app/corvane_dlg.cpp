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
#include "cleanup/delete_older.h"
#include "report/html_report.h"

using namespace corvane::app;

wxString DisplayText(const std::string& bytes) {
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    if (text.empty() && !bytes.empty())
        text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
    return text;
}

namespace {

void ShowErrorBox(wxWindow* parent, const wxString& text) {
    wxMessageBox(text, "Corvane", wxOK | wxICON_ERROR, parent);
}

bool LaunchDefault(const wxString& path) {
    return wxLaunchDefaultApplication(path);
}

// A path as the file system takes it, so that the program started gets the
// same bytes.
wxString FileNameText(const std::string& path) {
    wxString text(path.c_str(), *wxConvFileName);
    return text.empty() ? DisplayText(path) : text;
}

}  // namespace

CCorvaneDlg::CCorvaneDlg(wxWindow* parent, std::string libraryRoot, bool ownFolder)
    : wxDialog(parent, wxID_ANY,
               ownFolder ? wxString("Corvane")
                         : "Corvane - " +
                               DisplayText(std::string(corvane::FolderDisplayName(libraryRoot))),
               wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_LibraryRoot(std::move(libraryRoot)),
      m_ShowError(ShowErrorBox),
      m_Launch(LaunchDefault) {
    m_ReportPath = m_LibraryRoot + corvane::kReportName;
    CreateControls();

    // Check is wxID_OK: its handler does not skip the event, so neither the
    // button nor the Enter key ends the dialog. Close, Escape and the window's
    // close button end it through wxDialog's own handling of wxID_CANCEL.
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnCheck, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnDeleteOlder, this, IDC_DELETE_OLDER);
    Bind(wxEVT_BUTTON, &CCorvaneDlg::OnViewReport, this, IDC_VIEW_REPORT);
    Bind(wxEVT_CONTEXT_MENU, &CCorvaneDlg::OnContextMenu, this);
    Bind(wxEVT_MENU, &CCorvaneDlg::OnAbout, this, IDM_ABOUTBOX);
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
        new wxButton(this, IDC_DELETE_OLDER, "Delete older items", place(113, 31), size(86, 14));
    m_pDeleteOlder->Disable();
    new wxButton(this, IDC_VIEW_REPORT, "View Report", place(210, 31), size(50, 14));

    check->SetDefault();
    check->SetFocus();
    SetEscapeId(wxID_CANCEL);
}

void CCorvaneDlg::TransferStatus() {
    if (m_pStatus) m_pStatus->ChangeValue(DisplayText(m_Status));
}

void CCorvaneDlg::Status(const std::string& text) {
    m_Status = text;
    RefreshStatus();
}

void CCorvaneDlg::RefreshStatus() {
    TransferStatus();
    Refresh();
    Update();
}

void CCorvaneDlg::ShowDeleteButton(size_t olderItems, bool enabled) {
    m_pDeleteOlder->SetLabel("Delete " + std::to_string(olderItems) + " older items");
    m_pDeleteOlder->Enable(enabled);
}

void CCorvaneDlg::ItemRemoved(const corvane::OlderItem&, size_t left) {
    m_ItemsLeft = left;
    ShowDeleteButton(left, true);
    RefreshStatus();
}

void CCorvaneDlg::RunCommand(const std::function<void()>& command) {
    wxString failure;
    try {
        command();
        return;
    } catch (const std::exception& error) {
        failure = DisplayText(error.what());
    } catch (...) {
        failure = "The command ended on an unexpected error.";
    }
    m_ShowError(this, failure);
}

void CCorvaneDlg::RunCheck() {
    // A check that fails leaves the button as the last complete check left it.
    RunCommand([this] {
        m_OlderItems = corvane::CheckAndWriteReport(m_LibraryRoot, *this);
        ShowDeleteButton(m_OlderItems.size(), true);
    });
}

void CCorvaneDlg::DeleteOlderItems() {
    m_ItemsLeft = m_OlderItems.size();
    RunCommand([this] {
        corvane::DeleteOlderItems(m_LibraryRoot, m_OlderItems, *this);
        ShowDeleteButton(0, false);
    });
    // What was taken out is gone; after a failure the button offers the rest,
    // the failing item first.
    m_OlderItems.erase(m_OlderItems.begin(), m_OlderItems.end() - std::ptrdiff_t(m_ItemsLeft));
    if (m_OlderItems.empty()) ShowDeleteButton(0, false);
}

void CCorvaneDlg::ViewReport() {
    wxString path = FileNameText(m_ReportPath);
    if (!m_Launch(path)) {
        m_ShowError(this, "Cannot open the report \"" + DisplayText(m_ReportPath) +
                              "\": no program to show it could be started.");
    }
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
    menu.Append(IDM_ABOUTBOX, kAboutEntry);
    ShowMenu(menu);
}

void CCorvaneDlg::OnAbout(wxCommandEvent&) {
    CAboutDlg about(this);
    about.ShowModal();
}
