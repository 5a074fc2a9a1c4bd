// Corvane.exe: the dialog is the whole program. It takes no arguments and
// checks the library whose top folder holds it; away from a library it asks
// for the library's folder.
#include <exception>

#include "app/logic/library_choice.h"
#include "app/win/main_dialog.h"
#include "platform/system.h"
#include "platform/wide.h"
// clang-format off
#include <commctrl.h>  // after windows.h, which it needs
#include <shlobj.h>
// clang-format on

namespace {

// The system's folder chooser; nothing when the user cancels.
std::optional<std::string> ChooseFolder() {
    const std::wstring title = WindowText("Choose the top folder of the library to check");
    BROWSEINFOW browse{};
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
    if (!chosen) return std::nullopt;
    std::wstring path(32768, L'\0');
    const bool named = ::SHGetPathFromIDListEx(chosen, path.data(), DWORD(path.size()), 0);
    ::CoTaskMemFree(chosen);
    if (!named) return std::nullopt;
    path.resize(path.find(L'\0'));
    return corvane::platform::Utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size()));
}

void ShowProblem(const std::string& text) {
    ::MessageBoxW(nullptr, WindowText(text).c_str(), L"Corvane", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The folder chooser lives in COM.
    const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    std::optional<corvane::app::LibraryChoice> library;
    try {
        library = corvane::app::ChooseLibrary(std::nullopt, corvane::platform::ExecutableFolder(),
                                              ChooseFolder, ShowProblem);
    } catch (const std::exception& error) {
        ShowProblem(error.what());
        if (com) ::CoUninitialize();
        return 1;
    }
    if (library) {
        CCorvaneDlg dialog(module, library->root, library->ownFolder);
        dialog.DoModal();
    }
    if (com) ::CoUninitialize();
    return 0;
}
