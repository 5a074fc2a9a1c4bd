// The native dialog through its real window, in this process, driven from a
// second thread as a user would: keys, clicks, the close box and the system
// menu. What its commands show is the shared logic's (tests/logic).
#include <gtest/gtest.h>

#include <atomic>
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

// The window of thread with that caption, once it is there.
HWND Find(DWORD thread, const std::string& caption) {
    std::pair<const std::string*, HWND> search{&caption, nullptr};
    WaitFor([&] {
        ::EnumThreadWindows(
            thread,
            [](HWND window, LPARAM found) {
                auto* search = reinterpret_cast<std::pair<const std::string*, HWND>*>(found);
                if (Text(window) == *search->first) search->second = window;
                return search->second ? FALSE : TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.second != nullptr;
    });
    return search.second;
}

TEST(WindowsDialog, EachInputThroughTheRealWindow) {
    const DWORD ui = ::GetCurrentThreadId();
    auto click = [](HWND window, int id) {
        return ::PostMessageW(::GetDlgItem(window, id), BM_CLICK, 0, 0) != 0;
    };
    auto checked = [](HWND window) {
        return WaitFor([&] { return Text(::GetDlgItem(window, IDC_STATUS)) == "Finished"; });
    };
    auto iconWidth = [](HWND window, WPARAM which) {
        ICONINFO info{};
        BITMAP bitmap{};
        if (::GetIconInfo(HICON(::SendMessageW(window, WM_GETICON, which, 0)), &info)) {
            ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            ::DeleteObject(info.hbmColor);
            ::DeleteObject(info.hbmMask);
        }
        return int(bitmap.bmWidth);
    };
    struct Row {
        const char* what;
        std::function<bool(HWND)> holds;  // acts on the dialog; whether what it shows holds
        bool ends;
    };
    const Row rows[] = {
        {"Enter checks", [&](HWND w) { return Key(ui, VK_RETURN) && checked(w); }, false},
        {"Escape ends it", [&](HWND) { return Key(ui, VK_ESCAPE); }, true},
        {"Close ends it", [&](HWND w) { return click(w, IDCANCEL); }, true},
        {"the close box ends it",
         [](HWND w) { return ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
        {"Delete older items waits for a check",
         [](HWND w) { return !::IsWindowEnabled(::GetDlgItem(w, IDC_DELETE_OLDER)); }, false},
        {"it opens centred on the screen",
         [](HWND w) {
             RECT window, screen;
             ::GetWindowRect(w, &window);
             ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
             return std::abs(window.left + window.right - screen.left - screen.right) <= 2 &&
                    std::abs(window.top + window.bottom - screen.top - screen.bottom) <= 2;
         },
         false},
        {"Undo and About end its system menu, Undo greyed while nothing is left to undo",
         [](HWND w) {
             HMENU menu = ::GetSystemMenu(w, FALSE);
             const int count = ::GetMenuItemCount(menu);
             ::SendMessageW(w, WM_INITMENUPOPUP, WPARAM(menu), MAKELPARAM(0, TRUE));
             return ::GetMenuItemID(menu, count - 2) == IDM_UNDODELETE &&
                    ::GetMenuItemID(menu, count - 1) == IDM_ABOUTBOX &&
                    (::GetMenuState(menu, IDM_UNDODELETE, MF_BYCOMMAND) & MF_GRAYED);
         },
         false},
        {"the caption takes the icon's 16-pixel image, not the 32-pixel one shrunk",
         [&](HWND w) {
             return iconWidth(w, ICON_SMALL) == ::GetSystemMetrics(SM_CXSMICON) &&
                    iconWidth(w, ICON_BIG) == ::GetSystemMetrics(SM_CXICON);
         },
         false},
        {"the keyboard stays with it: the focus moves to Check before Delete is disabled",
         [&](HWND w) {
             HWND button = ::GetDlgItem(w, IDC_DELETE_OLDER);
             click(w, IDOK);
             checked(w);
             ::PostMessageW(w, WM_NEXTDLGCTL, WPARAM(button), TRUE);
             WaitFor([&] { return Focus(ui) == button; });
             click(w, IDC_DELETE_OLDER);
             WaitFor([&] { return !::IsWindowEnabled(button); });
             return Focus(ui) == ::GetDlgItem(w, IDOK);
         },
         false},
        {"About opens the About box over it",
         [&](HWND w) {
             ::PostMessageW(w, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);  // low bits do not count
             HWND about = Find(ui, corvane::app::kAboutTitle);
             std::vector<std::string> texts;  // the icon, the version line, OK
             for (HWND child = ::GetWindow(about, GW_CHILD); child;
                  child = ::GetWindow(child, GW_HWNDNEXT)) {
                 texts.push_back(Text(child));
             }
             ::PostMessageW(about, WM_COMMAND, IDOK, 0);
             return texts.size() == 3 && texts[1] == corvane::app::AboutVersionLine() &&
                    texts[2] == "OK" && WaitFor([&] { return !::IsWindow(about); }) &&
                    ::IsWindowVisible(w);
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        corvane::testing::TempLibrary library;
        library.Write("Stock/a.stk", "name coach\r\n", "2010-01-01 10:00");
        library.Write("Stock/b.stk", "name coach\r\n");
        CCorvaneDlg dialog(::GetModuleHandleW(nullptr), library.Root());
        std::vector<std::wstring> messages;
        dialog.SetMessageSink([&](HWND, CCorvaneDlg::Message, const std::wstring& text) {
            messages.push_back(text);
            return true;
        });
        std::atomic<bool> held{false}, ended{false};
        std::thread driver([&] {
            HWND window = Find(ui, "Corvane");  // in its own folder
            if (!window) return;
            held = row.holds(window);
            auto gone = [&] { return !::IsWindow(window) || !::IsWindowVisible(window); };
            ended = row.ends ? WaitFor(gone) : gone();
            // However the row went, the run ends.
            if (::IsWindow(window)) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        driver.join();
        EXPECT_TRUE(held.load());
        EXPECT_EQ(ended.load(), row.ends);
        EXPECT_EQ(messages, std::vector<std::wstring>{});
    }
    // Away from its own folder the caption names the library.
    corvane::testing::TempLibrary library;
    CCorvaneDlg away(::GetModuleHandleW(nullptr), library.Root(), false);
    ASSERT_NE(away.Create(), nullptr);
    EXPECT_EQ(Text(away.Window()),
              "Corvane - " + corvane::platform::WithoutTrailingSeparator(library.Root()));
}

}  // namespace
