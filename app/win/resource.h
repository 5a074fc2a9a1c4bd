// Identifiers of the Windows resources (the same numbers as app/ids.h).
#define IDR_MAINFRAME 128
