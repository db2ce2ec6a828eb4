#pragma once
// Identifiers shared by the dialog templates and the code. Kept free of C++ so that
// the resource compiler can read it.

#define IDD_PROGRESS 101
#define IDD_PROMPT 104
#define IDD_NOTES 111

// Progress window.
#define IDC_OVERALL_BAR 1001
#define IDC_FILE_BAR 1002
#define IDC_STATUS_LINE_1 1006
#define IDC_STATUS_LINE_2 1007
#define IDC_VERSION_TEXT 1008

// Start-up prompt.
#define IDC_COMPLETE_CHECK 1007

// Update notes.
#define IDC_NOTES_TEXT 1002
