// Window and command identifiers of the dialogs: the wxWidgets dialog, the
// native Windows one and its resource script take them from here. Plain
// macros, which the resource compiler reads too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_STATUS 1000
#define IDC_DELETE_OLDER 1001
#define IDC_VIEW_REPORT 1002

// The entries of the dialog's menu (on Windows, of its system menu).
#define IDM_ABOUTBOX 0x0010
#define IDM_UNDODELETE 0x0020

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
