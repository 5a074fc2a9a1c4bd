// The main dialog of Corvane.exe, built from its template IDD_MAIN_DIALOG:
// the window of the shared dialog logic on Windows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>

#include "app/logic/dialog_logic.h"

// A text of ours (UTF-8, or library bytes in the system code page) as the
// window system takes it.
std::wstring WindowText(const std::string& text);

class CCorvaneDlg final : public corvane::app::DialogView {
  public:
    // Shows a message box over the dialog; for a question, true when the user
    // says yes.
    using MessageSink = std::function<bool(HWND dialog, Message kind, const std::wstring& text)>;
    // Opens the report; false when no program could be started.
    using Opener = std::function<bool(const std::string& path)>;

    // libraryRoot ends in the separator. The templates are taken from module.
    // Away from the program's own folder the caption names the library.
    CCorvaneDlg(HINSTANCE module, std::string libraryRoot, bool ownFolder = true);
    CCorvaneDlg(const CCorvaneDlg&) = delete;
    CCorvaneDlg& operator=(const CCorvaneDlg&) = delete;
    ~CCorvaneDlg() override;

    // Runs the dialog until Close, Escape or the close box ends it; gives
    // IDCANCEL then, -1 when it could not be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog without running it, for a caller with its own
    // message loop; IDCANCEL then destroys the window.
    HWND Create(HWND parent = nullptr);
    HWND Window() const { return m_hWnd; }

    void SetMessageSink(MessageSink sink) { m_ShowMessage = std::move(sink); }
    void SetOpener(Opener opener) { m_Open = std::move(opener); }

    void SetStatus(const std::string& text) override;
    void RefreshStatus() override;
    void SetDeleteButton(const std::string& label, bool enabled) override;
    bool ShowMessage(Message kind, const std::string& text) override;
    bool OpenDocument(const std::string& path) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    bool OnCommand(int id);
    // Runs a command of the dialog logic; input to the dialog waits until it
    // is over, while the window still moves and paints.
    template <typename Command>
    void RunCommand(Command command);
    // Lets the window handle what waits for it: painting, moving, input,
    // which the commands ignore while one runs.
    void HandlePendingMessages();
    // Puts the status and the delete button's state into their controls.
    // While a command runs they wait for the next paint: setting a control's
    // text for each of 24,690 items is what made a long delete slow.
    void ShowPending();
    bool OnSysCommand(WPARAM command);
    void OnInitMenuPopup(HMENU menu, bool systemMenu);
    bool OnPaint();

    HINSTANCE m_Module;
    HWND m_hWnd = nullptr;
    bool m_Modal = false;
    bool m_Busy = false;                 // a command runs
    unsigned long long m_LastPaint = 0;  // of the status line, in ms
    bool m_OwnFolder;
    HICON m_hIcon;  // shared by the system: never destroyed
    std::string m_Status;
    std::string m_DeleteLabel;
    bool m_DeleteEnabled = false;
    bool m_Pending = false;  // m_Status or the button's state is not shown yet
    corvane::app::DialogLogic m_Logic;
    MessageSink m_ShowMessage;
    Opener m_Open;
};

// Places window in the middle of over, or of over's screen's work area when
// over is null.
void CentreWindow(HWND window, HWND over);

// The About box, modal over parent.
INT_PTR ShowAboutBox(HINSTANCE module, HWND parent);
