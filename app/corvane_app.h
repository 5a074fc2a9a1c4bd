// The application: runs the main dialog on the library that holds the
// executable, and ends when the dialog closes.
#pragma once

#include <wx/app.h>

class CCorvaneApp : public wxApp {
  public:
    bool OnInit() override;
    int OnRun() override;
};

wxDECLARE_APP(CCorvaneApp);
