// The application: runs the main dialog on one library, and ends when the
// dialog closes.
#pragma once

#include <wx/app.h>

#include <optional>
#include <string>

class CCorvaneApp : public wxApp {
  public:
    // argument: the LIBRARY_ROOT given on the command line, if any.
    explicit CCorvaneApp(std::optional<std::string> argument = std::nullopt)
        : m_Argument(std::move(argument)) {}

    bool OnInit() override;
    int OnRun() override;

  private:
    std::optional<std::string> m_Argument;
};

wxDECLARE_APP(CCorvaneApp);
