// Window and command identifiers of the dialogs. The numbers are the ones the
// Windows resource script uses too.
#pragma once

namespace corvane::app {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_MAIN_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_STATUS = 1000;
inline constexpr int IDC_DELETE_OLDER = 1001;
inline constexpr int IDC_VIEW_REPORT = 1002;

// The entries of the dialog's menu.
inline constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr int IDM_UNDODELETE = 0x0020;

}  // namespace corvane::app
