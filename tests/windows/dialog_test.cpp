// The native dialog in this process: its templates and resources as the
// program holds them, the modeless dialog driven by button clicks, and the
// modal run driven from a second thread as a user would (keys, the close
// box, the system menu's About entry).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <thread>

#include "app/win/main_dialog.h"
#include "app/ids.h"
#include "tests/support/test_library.h"

namespace {

using corvane::testing::TempLibrary;
using namespace std::chrono_literals;

std::string Text(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, int(std::size(text)));
    std::string utf8;
    for (const wchar_t* c = text; *c; ++c) utf8 += *c < 0x80 ? char(*c) : '?';
    return utf8;
}

// What the user sees: the status line, the delete button's label and state.
using Moment = std::tuple<std::string, std::string, bool>;
const Moment kAtStart{"", "Delete older items", false};
const Moment kNothingOlder{"Finished", "Delete 0 older items", true};

Moment Shown(HWND dialog) {
    HWND button = ::GetDlgItem(dialog, IDC_DELETE_OLDER);
    return {Text(::GetDlgItem(dialog, IDC_STATUS)), Text(button), ::IsWindowEnabled(button) != 0};
}

// The dialog on a library of its own, with its error box and opener taken.
struct Dialog {
    TempLibrary library;
    CCorvaneDlg dialog{::GetModuleHandleW(nullptr), library.Root()};
    std::vector<std::string> errors, opened;
    Dialog() {
        dialog.SetMessageSink([this](HWND, CCorvaneDlg::Message, const std::wstring& text) {
            std::string utf8;
            for (wchar_t c : text) utf8 += c < 0x80 ? char(c) : '?';
            errors.push_back(utf8);
            return true;
        });
        dialog.SetOpener([this](const std::string& path) {
            opened.push_back(path);
            return true;
        });
    }
    void Click(int id) { ::SendDlgItemMessageW(dialog.Window(), id, BM_CLICK, 0, 0); }
};

TEST(WindowsDialog, ButtonsRunTheCommandsAndTheStatusLineFollows) {
    struct Row {
        const char* name;
        bool sample;
        std::vector<int> clicks;
        Moment shown;
    };
    const Row rows[] = {
        {"start", false, {}, kAtStart},
        {"check finding none", false, {IDOK}, kNothingOlder},
        {"check finding 3", true, {IDOK}, {"Finished", "Delete 3 older items", true}},
        {"delete", true, {IDOK, IDC_DELETE_OLDER}, {"Finished", "Delete 0 older items", false}},
        {"delete is disabled before a check", true, {IDC_DELETE_OLDER}, kAtStart},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Dialog d;
        if (row.sample) corvane::testing::PrepareSample(d.library.Root());
        ASSERT_NE(d.dialog.Create(), nullptr);
        for (int id : row.clicks) d.Click(id);
        EXPECT_EQ(Shown(d.dialog.Window()), row.shown);
        EXPECT_TRUE(d.errors.empty());
    }
    // The keyboard stays with the dialog: the focus leaves the delete button
    // before it is disabled.
    Dialog d;
    corvane::testing::PrepareSample(d.library.Root());
    ASSERT_NE(d.dialog.Create(), nullptr);
    d.Click(IDOK);
    ::SetFocus(::GetDlgItem(d.dialog.Window(), IDC_DELETE_OLDER));
    d.Click(IDC_DELETE_OLDER);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(d.dialog.Window(), IDOK));
}

TEST(WindowsDialog, FailuresAreShownAndViewReportOpensTheReportsPath) {
    Dialog d;
    const std::string report = d.library.Path("Corvane.htm");
    d.library.MakeFolder("Corvane.htm");
    ASSERT_NE(d.dialog.Create(), nullptr);
    d.Click(IDOK);
    ASSERT_EQ(d.errors.size(), 1u);
    EXPECT_NE(d.errors[0].find(report), std::string::npos) << d.errors[0];
    EXPECT_EQ(Shown(d.dialog.Window()), (Moment{"Check failed", "Delete older items", false}));
    d.Click(IDC_VIEW_REPORT);
    EXPECT_EQ(d.opened, std::vector<std::string>{report});

    d.dialog.SetOpener([](const std::string&) { return false; });
    d.Click(IDC_VIEW_REPORT);
    ASSERT_EQ(d.errors.size(), 2u);
    EXPECT_NE(d.errors[1].find("Cannot open the report \"" + report + "\""), std::string::npos);
}

TEST(WindowsDialog, OpensCentredWithUndoAndAboutOnItsSystemMenu) {
    Dialog d;
    ASSERT_NE(d.dialog.Create(), nullptr);
    RECT window, screen;
    ::GetWindowRect(d.dialog.Window(), &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    EXPECT_LE(std::abs((window.left + window.right) - (screen.left + screen.right)), 2);
    EXPECT_LE(std::abs((window.top + window.bottom) - (screen.top + screen.bottom)), 2);
    HMENU menu = ::GetSystemMenu(d.dialog.Window(), FALSE);
    int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    EXPECT_EQ(::GetMenuState(menu, count - 3, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    EXPECT_EQ(::GetMenuItemID(menu, count - 2), UINT(IDM_UNDODELETE));
    EXPECT_EQ(::GetMenuItemID(menu, count - 1), UINT(IDM_ABOUTBOX));
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"&About Corvane...");
    // Greyed while nothing is left to undo, when the menu opens.
    ::SendMessageW(d.dialog.Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                   MAKELPARAM(0, TRUE));
    EXPECT_TRUE(::GetMenuState(menu, IDM_UNDODELETE, MF_BYCOMMAND) & MF_GRAYED);
}

// The caption takes the icon's 16-pixel image, not the 32-pixel one shrunk.
TEST(WindowsDialog, CaptionAndTaskSwitcherIconsHaveTheSystemsSizes) {
    Dialog d;
    ASSERT_NE(d.dialog.Create(), nullptr);
    auto width = [&](WPARAM which) {
        auto icon =
            reinterpret_cast<HICON>(::SendMessageW(d.dialog.Window(), WM_GETICON, which, 0));
        ICONINFO info{};
        BITMAP bitmap{};
        if (icon && ::GetIconInfo(icon, &info)) {
            ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            ::DeleteObject(info.hbmColor);
            ::DeleteObject(info.hbmMask);
        }
        return int(bitmap.bmWidth);
    };
    EXPECT_EQ(width(ICON_SMALL), ::GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(width(ICON_BIG), ::GetSystemMetrics(SM_CXICON));
}

// Runs the dialog modally on this thread while script, on another thread,
// drives it; script gets the dialog's window. Gives DoModal's result.
INT_PTR RunModal(Dialog& d, const std::function<void(HWND)>& script) {
    const DWORD uiThread = ::GetCurrentThreadId();
    std::thread driver([&] {
        HWND found = nullptr;
        for (int i = 0; i < 500 && !found; ++i, std::this_thread::sleep_for(10ms)) {
            ::EnumThreadWindows(
                uiThread,
                [](HWND window, LPARAM out) {
                    if (Text(window) != "Corvane") return TRUE;
                    *reinterpret_cast<HWND*>(out) = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
        }
        if (found) script(found);
        // However the script went, the run ends.
        if (found && ::IsWindow(found)) ::PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result = d.dialog.DoModal();
    driver.join();
    return result;
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(10ms)) {
        if (done()) return true;
    }
    return false;
}

// A key as the user types it, to the control that has the focus.
void Key(DWORD uiThread, WPARAM key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(uiThread, &info);
    ::PostMessageW(info.hwndFocus, WM_KEYDOWN, key, 1);
    ::PostMessageW(info.hwndFocus, WM_KEYUP, key, 0xC0000001);
}

TEST(WindowsDialog, EnterChecksAndLeavesItOpenEscapeCloseAndTheCloseBoxEndIt) {
    const DWORD ui = ::GetCurrentThreadId();
    struct Case {
        const char* what;
        std::function<void(HWND)> act;
        bool checks;
    };
    const Case cases[] = {
        {"Enter", [&](HWND) { Key(ui, VK_RETURN); }, true},
        {"Escape", [&](HWND) { Key(ui, VK_ESCAPE); }, false},
        {"Close", [](HWND w) { ::PostMessageW(::GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0); }, false},
        {"close box", [](HWND w) { ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dialog d;
        std::atomic<bool> ended{false}, checked{false};
        INT_PTR result = RunModal(d, [&](HWND window) {
            c.act(window);
            auto gone = [&] { return !::IsWindow(window) || !::IsWindowVisible(window); };
            WaitFor([&] { return gone() || std::get<0>(Shown(window)) == "Finished"; });
            ended = gone();
            checked = !ended.load();
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(checked.load(), c.checks);
        EXPECT_EQ(ended.load(), !c.checks);
    }
}

TEST(WindowsDialog, AboutEntryOpensTheAboutBoxModally) {
    const DWORD ui = ::GetCurrentThreadId();
    Dialog d;
    std::vector<std::string> texts;
    bool mainStayed = false;
    RunModal(d, [&](HWND window) {
        ::PostMessageW(window, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);  // low bits do not count
        HWND about = nullptr;
        WaitFor([&] {
            ::EnumThreadWindows(
                ui,
                [](HWND w, LPARAM out) {
                    if (Text(w) == "About Corvane") *reinterpret_cast<HWND*>(out) = w;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&about));
            return about != nullptr;
        });
        ASSERT_NE(about, nullptr);
        for (HWND child = ::GetWindow(about, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(Text(child));
        }
        ::PostMessageW(about, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !::IsWindow(about); });
        mainStayed = ::IsWindowVisible(window);
    });
    ASSERT_EQ(texts.size(), 3u);  // the icon, the version line, OK
    EXPECT_EQ(texts[1], "Corvane Version 1.0");
    EXPECT_EQ(texts[2], "OK");
    EXPECT_TRUE(mainStayed);
}

// The templates as the program holds them.
TEST(WindowsResources, DialogTemplatesIconsAndVersion) {
    struct Item {
        int id;
        DWORD style;
        short x, y, cx, cy;
        bool operator==(const Item&) const = default;
    };
    struct Template {
        DWORD style, exStyle;
        short cx, cy;
        std::vector<Item> items;
    };
    auto read = [](int id) {
        HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
        const auto* p = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, found)));
        Template t{};
        auto dword = [&](int at) { return DWORD(p[at] | (DWORD(p[at + 1]) << 16)); };
        EXPECT_EQ(p[1], 0xFFFF) << "an extended template";
        t.exStyle = dword(4);
        t.style = dword(6);
        int count = p[8];
        t.cx = short(p[11]);
        t.cy = short(p[12]);
        const WORD* at = p + 13;
        auto skip = [&] {  // a name or ordinal
            if (*at == 0xFFFF) {
                at += 2;
            } else {
                while (*at++) {
                }
            }
        };
        skip(), skip(), skip();  // menu, class, caption
        at += 3;                 // point size, weight, italic and charset
        while (*at++) {
        }  // font name
        for (int i = 0; i < count; ++i) {
            at = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(at) + 3) &
                                               ~uintptr_t(3));
            DWORD style = at[4] | (DWORD(at[5]) << 16);
            Item item{int(int32_t(at[10] | (DWORD(at[11]) << 16))),
                      style,
                      short(at[6]),
                      short(at[7]),
                      short(at[8]),
                      short(at[9])};
            t.items.push_back(item);
            at += 12;
            skip(), skip();     // class, text
            at += 1 + *at / 2;  // creation data
        }
        return t;
    };
    Template main = read(IDD_MAIN_DIALOG);
    EXPECT_EQ(main.style, 0x90C800C8u);
    EXPECT_EQ(main.exStyle, DWORD(WS_EX_APPWINDOW));
    EXPECT_EQ(main.cx, 320);
    EXPECT_EQ(main.cy, 54);
    EXPECT_EQ(main.items, (std::vector<Item>{{IDOK, 0x50010001, 57, 31, 50, 16},
                                             {IDCANCEL, 0x50010000, 279, 31, 34, 16},
                                             {IDC_STATUS, 0x50010880, 7, 7, 306, 14},
                                             {IDC_DELETE_OLDER, 0x58010000, 113, 31, 86, 14},
                                             {IDC_VIEW_REPORT, 0x50010000, 210, 31, 50, 14}}));
    Template about = read(IDD_ABOUTBOX);
    EXPECT_EQ(about.style, 0x80C800C8u);
    EXPECT_EQ(about.exStyle, 0u);
    EXPECT_EQ(about.items, (std::vector<Item>{{-1, 0x50000003, 11, 17, 20, 20},
                                              {-1, 0x50020080, 40, 10, 119, 8},
                                              {IDOK, 0x50030001, 178, 7, 50, 16}}));

    // Icon group 128: 48, 32, 16 pixels at 4, then 8, then 24 bits.
    HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, group)));
    ASSERT_NE(dir, nullptr);
    std::vector<std::pair<int, int>> images;
    for (int i = 0; i < dir[4]; ++i) {
        const BYTE* entry = dir + 6 + 14 * i;
        images.emplace_back(entry[0], entry[6]);
    }
    EXPECT_EQ(
        images,
        (std::vector<std::pair<int, int>>{
            {48, 4}, {32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}, {48, 24}, {32, 24}, {16, 24}}));
    EXPECT_NE(::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
    EXPECT_NE(::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
}

}  // namespace
