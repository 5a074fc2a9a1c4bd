#include "app/corvane_app.h"

#include <wx/image.h>
#include <wx/msgdlg.h>

#include <exception>

#include "app/corvane_dlg.h"
#include "platform/system.h"

wxIMPLEMENT_APP(CCorvaneApp);

// The program takes no arguments: wxApp's own command-line parsing is left
// out on purpose.
bool CCorvaneApp::OnInit() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    return true;
}

// The dialog is the whole program: no main loop runs after it.
int CCorvaneApp::OnRun() {
    std::string root;
    try {
        root = corvane::platform::ExecutableFolder();
    } catch (const std::exception& error) {
        wxMessageBox(DisplayText(error.what()), "Corvane", wxOK | wxICON_ERROR);
        return 1;
    }
    CCorvaneDlg dialog(nullptr, root);
    SetTopWindow(&dialog);
    dialog.ShowModal();
    SetTopWindow(nullptr);
    return 0;
}
