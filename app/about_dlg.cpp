#include "app/about_dlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/icons.h"
#include "version.h"

// Laid out in dialog units, so that it scales with the dialog font.
CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "About Corvane", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetClientSize(wxDLG_UNIT(this, wxSize(235, 55)));

    wxIconBundle icons = corvane::app::AppIcons();
    wxSize iconSize = wxDLG_UNIT(this, wxSize(20, 20));
    wxIcon icon = icons.GetIcon(wxSize(32, 32), wxIconBundle::FALLBACK_NEAREST_LARGER);
    new wxStaticBitmap(this, wxID_STATIC, icon, wxDLG_UNIT(this, wxPoint(11, 17)), iconSize);
    new wxStaticText(this, wxID_STATIC, "Corvane Version " CORVANE_VERSION_SHORT,
                     wxDLG_UNIT(this, wxPoint(40, 10)), wxDLG_UNIT(this, wxSize(119, 8)),
                     wxST_NO_AUTORESIZE);
    auto* ok = new wxButton(this, wxID_OK, "OK", wxDLG_UNIT(this, wxPoint(178, 7)),
                            wxDLG_UNIT(this, wxSize(50, 16)));
    ok->SetDefault();
    ok->SetFocus();
    SetEscapeId(wxID_OK);
    CentreOnParent();
}
