// Corvane.exe: the dialog is the whole program. It takes no arguments and
// checks the library whose top folder holds it.
#include <exception>

#include "app/win/main_dialog.h"
#include "platform/system.h"
// clang-format off
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    std::string root;
    try {
        root = corvane::platform::ExecutableFolder();
    } catch (const std::exception& error) {
        ::MessageBoxW(nullptr, WindowText(error.what()).c_str(), L"Corvane", MB_OK | MB_ICONERROR);
        return 1;
    }
    CCorvaneDlg dialog(module, root);
    dialog.DoModal();
    return 0;
}
