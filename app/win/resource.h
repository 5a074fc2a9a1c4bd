// Identifiers of the Windows resources and of the dialogs' controls, for the
// resource script and the dialog code alike (the numbers app/ids.h gives the
// wxWidgets dialog).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_STATUS 1000
#define IDC_DELETE_OLDER 1001
#define IDC_VIEW_REPORT 1002

// The entries of the system menu.
#define IDM_ABOUTBOX 0x0010
#define IDM_UNDODELETE 0x0020

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
