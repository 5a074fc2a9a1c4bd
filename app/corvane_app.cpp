#include "app/corvane_app.h"

#include <wx/dirdlg.h>
#include <wx/image.h>
#include <wx/msgdlg.h>

#include <cstdio>
#include <exception>

#include "app/corvane_dlg.h"
#include "app/logic/library_choice.h"
#include "commands/command_line.h"
#include "platform/system.h"

// main() below reads the command line and hands the application object to
// wxWidgets; wxWidgets' own parsing is left out.
wxIMPLEMENT_APP_NO_MAIN(CCorvaneApp);

bool CCorvaneApp::OnInit() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    return true;
}

// The dialog is the whole program: no main loop runs after it.
int CCorvaneApp::OnRun() {
    auto showProblem = [](const std::string& text) {
        wxMessageBox(DisplayText(text), "Corvane", wxOK | wxICON_ERROR);
    };
    auto chooseFolder = []() -> std::optional<std::string> {
        wxDirDialog chooser(nullptr, "Choose the top folder of the library to check", wxEmptyString,
                            wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (chooser.ShowModal() != wxID_OK) return std::nullopt;
        return std::string(chooser.GetPath().fn_str());
    };

    std::optional<corvane::app::LibraryChoice> library;
    try {
        library = corvane::app::ChooseLibrary(m_Argument, corvane::platform::ExecutableFolder(),
                                              chooseFolder, showProblem);
    } catch (const std::exception& error) {
        showProblem(error.what());
        return 1;
    }
    // A named folder that cannot be checked is an error; a cancelled chooser
    // is the user's choice.
    if (!library) return m_Argument ? 1 : 0;

    CCorvaneDlg dialog(nullptr, library->root, library->ownFolder);
    SetTopWindow(&dialog);
    dialog.ShowModal();
    SetTopWindow(nullptr);
    return 0;
}

int main(int argc, char** argv) {
    corvane::CommandLine line("corvane", "Opens the Corvane dialog on a content library.");
    std::optional<std::string> argument;
    corvane::CommandLine::AddLibraryRoot(line.App(), argument,
                                         "The library's top folder; by default the program's "
                                         "own folder if it is a library, else one you choose");
    if (std::optional<int> status = line.Parse(argc, argv)) return *status;

    wxApp::SetInstance(new CCorvaneApp(std::move(argument)));
    // wxWidgets sees the program's name only: the library is ours to read.
    int wxArgc = 1;
    return wxEntry(wxArgc, argv);
}
