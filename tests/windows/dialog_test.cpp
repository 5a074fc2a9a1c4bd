// The native dialog through its real window, in this process, driven from a
// second thread as a user would: keys, clicks, the close box and the system
// menu. What its commands show is the shared logic's (tests/logic).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/ids.h"
#include "app/win/main_dialog.h"
#include "tests/support/test_library.h"

namespace {

using namespace std::chrono_literals;

std::string Text(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, int(std::size(text)));
    std::string ascii;
    for (const wchar_t* c = text; *c; ++c) ascii += *c < 0x80 ? char(*c) : '?';
    return ascii;
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(10ms)) {
        if (done()) return true;
    }
    return false;
}

// The control of thread that has the focus.
HWND Focus(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(thread, &info);
    return info.hwndFocus;
}

// A key as the user types it, to the control that has the focus; whether it
// was sent.
bool Key(DWORD thread, WPARAM key) {
    return ::PostMessageW(Focus(thread), WM_KEYDOWN, key, 1) &&
           ::PostMessageW(Focus(thread), WM_KEYUP, key, 0xC0000001);
}

// The window with that caption once it shows, set up (no other program here
// opens one of the same name while these tests run).
HWND Find(const std::string& caption) {
    HWND found = nullptr;
    WaitFor([&] { return ::IsWindowVisible(found = ::FindWindowA(nullptr, caption.c_str())); });
    return found;
}

// The width of the caption's icon of that size, in pixels.
int IconWidth(HWND window, WPARAM which) {
    ICONINFO info{};
    BITMAP bitmap{};
    if (::GetIconInfo(HICON(::SendMessageW(window, WM_GETICON, which, 0)), &info)) {
        ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    }
    return int(bitmap.bmWidth);
}

// Each way to end the dialog, the first after a round of all else it offers,
// on a library with one older item; the names of the checks that failed.
TEST(WindowsDialog, ASessionThroughTheRealWindow) {
    const DWORD ui = ::GetCurrentThreadId();
    std::vector<std::string> failed;  // written by the driver, read once it is over
    auto expect = [&](bool holds, const char* what) {
        if (!holds) failed.push_back(what);
    };
    auto click = [](HWND window, int id) {
        return ::PostMessageW(::GetDlgItem(window, id), BM_CLICK, 0, 0) != 0;
    };
    auto round = [&](HWND w) {
        HWND check = ::GetDlgItem(w, IDOK), button = ::GetDlgItem(w, IDC_DELETE_OLDER);
        expect(!::IsWindowEnabled(button), "Delete older items waits for a check");
        RECT window, screen;
        ::GetWindowRect(w, &window);
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
        expect(std::abs(window.left + window.right - screen.left - screen.right) <= 2 &&
                   std::abs(window.top + window.bottom - screen.top - screen.bottom) <= 2,
               "it opens centred on the screen");
        expect(IconWidth(w, ICON_SMALL) == ::GetSystemMetrics(SM_CXSMICON) &&
                   IconWidth(w, ICON_BIG) == ::GetSystemMetrics(SM_CXICON),
               "the caption takes the icon's 16-pixel image, not the 32-pixel one shrunk");
        HMENU menu = ::GetSystemMenu(w, FALSE);
        const int count = ::GetMenuItemCount(menu);
        ::SendMessageW(w, WM_INITMENUPOPUP, WPARAM(menu), MAKELPARAM(0, TRUE));
        expect(::GetMenuItemID(menu, count - 2) == IDM_UNDODELETE &&
                   ::GetMenuItemID(menu, count - 1) == IDM_ABOUTBOX &&
                   (::GetMenuState(menu, IDM_UNDODELETE, MF_BYCOMMAND) & MF_GRAYED),
               "Undo and About end its system menu, Undo greyed while nothing is to undo");

        expect(Key(ui, VK_RETURN) && WaitFor([&] { return ::IsWindowEnabled(button); }),
               "Enter checks");
        ::PostMessageW(w, WM_NEXTDLGCTL, WPARAM(button), TRUE);
        WaitFor([&] { return Focus(ui) == button; });
        click(w, IDC_DELETE_OLDER);
        WaitFor([&] { return !::IsWindowEnabled(button); });
        expect(Focus(ui) == check, "the focus moves to Check before Delete is disabled");

        ::PostMessageW(w, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);  // low bits do not count
        HWND about = Find(corvane::app::kAboutTitle);
        std::vector<std::string> texts;  // the icon, the version line, OK
        for (HWND child = ::GetWindow(about, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(Text(child));
        }
        ::PostMessageW(about, WM_COMMAND, IDOK, 0);
        expect(texts.size() == 3 && texts[1] == corvane::app::AboutVersionLine() &&
                   texts[2] == "OK" && WaitFor([&] { return !::IsWindow(about); }) &&
                   ::IsWindowVisible(w),
               "About opens the About box over it");
    };
    const std::pair<const char*, std::function<bool(HWND)>> endings[] = {
        {"Close", [&](HWND w) { return click(w, IDCANCEL); }},
        {"Escape", [&](HWND) { return Key(ui, VK_ESCAPE); }},
        {"the close box", [](HWND w) { return ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& [what, end] : endings) {
        corvane::testing::TempLibrary library;
        library.Write("Stock/a.stk", "name coach\r\n", "2010-01-01 10:00");
        library.Write("Stock/b.stk", "name coach\r\n");
        CCorvaneDlg dialog(::GetModuleHandleW(nullptr), library.Root());
        std::vector<std::wstring> messages;
        dialog.SetMessageSink([&](HWND, CCorvaneDlg::Message, const std::wstring& text) {
            messages.push_back(text);
            return true;
        });
        std::thread driver([&] {
            HWND window = Find("Corvane");  // in its own folder
            if (!window) return;
            if (&end == &endings[0].second) round(window);
            expect(end(window) && WaitFor([&] { return !::IsWindowVisible(window); }), what);
            // However the session went, the run ends.
            if (::IsWindow(window)) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        driver.join();
        EXPECT_EQ(messages, std::vector<std::wstring>{});
    }
    EXPECT_EQ(failed, std::vector<std::string>{});
    // Away from its own folder the caption names the library.
    corvane::testing::TempLibrary library;
    CCorvaneDlg away(::GetModuleHandleW(nullptr), library.Root(), false);
    ASSERT_NE(away.Create(), nullptr);
    EXPECT_EQ(Text(away.Window()),
              "Corvane - " + corvane::platform::WithoutTrailingSeparator(library.Root()));
}

}  // namespace
