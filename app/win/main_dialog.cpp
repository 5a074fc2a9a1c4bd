#include "app/win/main_dialog.h"

#include "app/win/resource.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/wide.h"

std::wstring WindowText(const std::string& text) {
    std::u16string wide = corvane::platform::Utf16FromUtf8(corvane::platform::DisplayText(text));
    return std::wstring(wide.begin(), wide.end());
}

namespace {

void ShowErrorBox(HWND dialog, const std::wstring& text) {
    ::MessageBoxW(dialog, text.c_str(), WindowText(corvane::app::kTitle).c_str(),
                  MB_OK | MB_ICONERROR);
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowAboutBox(HINSTANCE module, HWND parent) {
    return ::DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_ABOUTBOX), parent, AboutProc, 0);
}

CCorvaneDlg::CCorvaneDlg(HINSTANCE module, std::string libraryRoot)
    : m_Module(module),
      m_hIcon(::LoadIconW(module, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_Logic(std::move(libraryRoot), *this),
      m_ShowError(ShowErrorBox),
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

INT_PTR CCorvaneDlg::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;  // the focus goes to Check, the first tab stop
        case WM_COMMAND:
            return HIWORD(wParam) == BN_CLICKED && OnCommand(LOWORD(wParam));
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam);
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
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
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
bool CCorvaneDlg::OnCommand(int id) {
    switch (id) {
        case IDOK:
            m_Logic.RunCheck();
            return true;
        case IDC_DELETE_OLDER:
            // A click sent to the disabled button (BM_CLICK does not ask)
            // must not run the command either.
            if (::IsWindowEnabled(::GetDlgItem(m_hWnd, IDC_DELETE_OLDER))) {
                m_Logic.DeleteOlderItems();
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
    if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;  // the system's own
    ShowAboutBox(m_Module, m_hWnd);
    return true;
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
    if (m_hWnd) ::SetDlgItemTextW(m_hWnd, IDC_STATUS, WindowText(text).c_str());
}

void CCorvaneDlg::RefreshStatus() {
    // The command runs inside a button's handler: nothing paints unless we
    // make it.
    if (m_hWnd) {
        ::RedrawWindow(m_hWnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
}

void CCorvaneDlg::SetDeleteButton(const std::string& label, bool enabled) {
    if (!m_hWnd) return;
    HWND button = ::GetDlgItem(m_hWnd, IDC_DELETE_OLDER);
    ::SetWindowTextW(button, WindowText(label).c_str());
    ::EnableWindow(button, enabled);
}

void CCorvaneDlg::ShowError(const std::string& text) {
    m_ShowError(m_hWnd, WindowText(text));
}

bool CCorvaneDlg::OpenDocument(const std::string& path) {
    return m_Open(path);
}
