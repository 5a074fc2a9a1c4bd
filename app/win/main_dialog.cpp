#include "app/win/main_dialog.h"

#include "app/ids.h"
#include "audit/library_root.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/wide.h"

std::wstring WindowText(const std::string& text) {
    std::u16string wide = corvane::platform::Utf16FromUtf8(corvane::platform::DisplayText(text));
    return std::wstring(wide.begin(), wide.end());
}

namespace {

using Message = corvane::app::DialogView::Message;

bool ShowMessageBox(HWND dialog, Message kind, const std::wstring& text) {
    const std::wstring title = WindowText(corvane::app::kTitle);
    switch (kind) {
        case Message::kError:
            ::MessageBoxW(dialog, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
            return true;
        case Message::kInformation:
            ::MessageBoxW(dialog, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
            return true;
        case Message::kQuestion:
            return ::MessageBoxW(dialog, text.c_str(), title.c_str(),
                                 MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    }
    return false;
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CentreWindow(window, ::GetParent(window));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void CentreWindow(HWND window, HWND over) {
    RECT area;
    if (over) {
        ::GetWindowRect(over, &area);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
            return;
        }
        area = monitor.rcWork;
    }
    RECT own;
    ::GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR ShowAboutBox(HINSTANCE module, HWND parent) {
    return ::DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_ABOUTBOX), parent, AboutProc, 0);
}

CCorvaneDlg::CCorvaneDlg(HINSTANCE module, std::string libraryRoot, bool ownFolder)
    : m_Module(module),
      m_OwnFolder(ownFolder),
      m_hIcon(::LoadIconW(module, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_Logic(std::move(libraryRoot), *this),
      m_ShowMessage(ShowMessageBox),
      m_Open(corvane::platform::OpenDocument) {}

CCorvaneDlg::~CCorvaneDlg() {
    if (m_hWnd && !m_Modal) ::DestroyWindow(m_hWnd);
}

INT_PTR CCorvaneDlg::DoModal(HWND parent) {
    m_Modal = true;
    INT_PTR result = ::DialogBoxParamW(m_Module, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), parent,
                                       DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

HWND CCorvaneDlg::Create(HWND parent) {
    m_Modal = false;
    return ::CreateDialogParamW(m_Module, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), parent, DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CCorvaneDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CCorvaneDlg*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<CCorvaneDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    INT_PTR handled = dialog->Handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    return handled;
}

INT_PTR CCorvaneDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;  // the focus goes to Check, the first tab stop
        case WM_COMMAND:
            return HIWORD(wParam) == BN_CLICKED && OnCommand(LOWORD(wParam));
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam);
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), HIWORD(lParam) != 0);
            return FALSE;
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        default:
            return FALSE;
    }
}

void CCorvaneDlg::OnInitDialog() {
    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t text[128] = {};
        if (::LoadStringW(m_Module, IDS_ABOUTBOX, text, int(std::size(text))) > 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_UNDODELETE,
                          WindowText(corvane::app::kUndoEntry).c_str());
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
    if (!m_OwnFolder) {
        const std::string caption = std::string(corvane::app::kTitle) + " - " +
                                    std::string(corvane::FolderDisplayName(m_Logic.LibraryRoot()));
        ::SetWindowTextW(m_hWnd, WindowText(caption).c_str());
    }
    CentreWindow(m_hWnd, nullptr);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(
        m_hWnd, WM_SETICON, ICON_SMALL,
        reinterpret_cast<LPARAM>(::LoadImageW(m_Module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXSMICON),
                                              ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)));
    ::SetDlgItemTextW(m_hWnd, IDC_STATUS, WindowText(m_Status).c_str());
}

// IDOK is Check: it never ends the dialog. IDCANCEL (Close, Escape, the
// close box) does.
template <typename Command>
void CCorvaneDlg::RunCommand(Command command) {
    m_Busy = true;
    m_LastPaint = 0;
    command();
    m_Busy = false;
    ShowPending();
}

bool CCorvaneDlg::OnCommand(int id) {
    if (m_Busy) return true;  // one command at a time
    switch (id) {
        case IDOK:
            RunCommand([this] { m_Logic.RunCheck(); });
            return true;
        case IDC_DELETE_OLDER:
            // A click sent to the disabled button (BM_CLICK does not ask)
            // must not run the command either.
            if (::IsWindowEnabled(::GetDlgItem(m_hWnd, IDC_DELETE_OLDER))) {
                RunCommand([this] { m_Logic.DeleteOlderItems(); });
            }
            return true;
        case IDC_VIEW_REPORT:
            m_Logic.ViewReport();
            return true;
        case IDCANCEL:
            if (m_Modal) {
                ::EndDialog(m_hWnd, IDCANCEL);
            } else {
                ::DestroyWindow(m_hWnd);
            }
            return true;
        default:
            return false;
    }
}

bool CCorvaneDlg::OnSysCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case IDM_ABOUTBOX:
            ShowAboutBox(m_Module, m_hWnd);
            return true;
        case IDM_UNDODELETE:
            if (!m_Busy) RunCommand([this] { m_Logic.UndoLastDelete(); });
            return true;
        default:
            return false;  // the system's own
    }
}

// The undo entry is greyed while no delete is left to undo.
void CCorvaneDlg::OnInitMenuPopup(HMENU menu, bool systemMenu) {
    if (!systemMenu) return;
    ::EnableMenuItem(menu, IDM_UNDODELETE,
                     MF_BYCOMMAND | (m_Logic.CanUndo() ? MF_ENABLED : MF_GRAYED));
}

// Minimised, the dialog draws its icon in the middle of its client area.
bool CCorvaneDlg::OnPaint() {
    if (!::IsIconic(m_hWnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int cx = ::GetSystemMetrics(SM_CXICON);
    int cy = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - cx + 1) / 2;
    int y = (client.bottom - client.top - cy + 1) / 2;
    if (m_hIcon) ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return true;
}

void CCorvaneDlg::SetStatus(const std::string& text) {
    m_Status = text;
    m_Pending = true;
    if (!m_Busy) ShowPending();
}

void CCorvaneDlg::ShowPending() {
    if (!m_hWnd || !m_Pending) return;
    m_Pending = false;
    ::SetDlgItemTextW(m_hWnd, IDC_STATUS, WindowText(m_Status).c_str());
    if (m_DeleteLabel.empty()) return;  // as the template has it
    HWND button = ::GetDlgItem(m_hWnd, IDC_DELETE_OLDER);
    ::SetWindowTextW(button, WindowText(m_DeleteLabel).c_str());
    // A disabled button that keeps the focus leaves the keyboard nowhere:
    // it goes to Check first.
    if (!m_DeleteEnabled && ::GetFocus() == button) {
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(m_hWnd, IDOK)),
                       TRUE);
    }
    ::EnableWindow(button, m_DeleteEnabled);
}

void CCorvaneDlg::RefreshStatus() {
    // The command runs inside a button's handler: nothing paints unless we
    // make it. Ten times a second is as often as anyone reads the line; each
    // time the status line and the delete button paint themselves, nothing
    // else, and the window handles what waits for it, so that it never
    // stops answering.
    if (!m_hWnd) return;
    const unsigned long long now = ::GetTickCount64();
    if (m_Busy && now - m_LastPaint < 100) return;
    m_LastPaint = now;
    ShowPending();
    ::UpdateWindow(::GetDlgItem(m_hWnd, IDC_STATUS));
    ::UpdateWindow(::GetDlgItem(m_hWnd, IDC_DELETE_OLDER));
    if (m_Busy) HandlePendingMessages();
}

void CCorvaneDlg::HandlePendingMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(int(message.wParam));
            return;
        }
        if (!::IsDialogMessageW(m_hWnd, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

void CCorvaneDlg::SetDeleteButton(const std::string& label, bool enabled) {
    m_DeleteLabel = label;
    m_DeleteEnabled = enabled;
    m_Pending = true;
    if (!m_Busy) ShowPending();
}

bool CCorvaneDlg::ShowMessage(Message kind, const std::string& text) {
    ShowPending();  // the box comes over the dialog as it is by then
    return m_ShowMessage(m_hWnd, kind, WindowText(text));
}

bool CCorvaneDlg::OpenDocument(const std::string& path) {
    return m_Open(path);
}
