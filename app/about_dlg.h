// The About box: the icon, the program's name and version, and OK.
#pragma once

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
  public:
    explicit CAboutDlg(wxWindow* parent);
};
