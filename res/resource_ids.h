// Control, dialog and icon ids. Plain #defines: this header is read by the
// resource compiler as well as by C++.
#pragma once

#define IDI_APP 128
#define IDD_MAIN 102
#define IDD_ABOUT 130

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_TARGET 1000
#define IDC_BROWSE_TARGET 1001
#define IDC_ALL_LOCAL_DRIVES 1002
#define IDC_ALL_EXTENSIONS 1003
#define IDC_BOOT_ONLY 1004
#define IDC_REPORT 1005
#define IDC_REPORT_FILE 1006
#define IDC_BROWSE_REPORT 1007
#define IDC_CLEAN 1008
#define IDC_APPEND 1009
#define IDC_SUBDIRS 1010
#define IDC_ARCHIVES 1011
#define IDC_SCAN 1012
#define IDC_ALL_DRIVES 1013
#define IDC_ALL_NET_DRIVES 1014
#define IDC_DELETE 1015
#define IDC_MIME 1016
#define IDC_EXTRA_ARGS 1017
#define IDC_STREAMS 1018
#define IDC_MOVE_DIR 1019
#define IDC_BROWSE_MOVE_DIR 1020
#define IDC_NO_OFFICE 1021
#define IDC_VIEW_AFTER_SCAN 1022
#define IDC_RPT_ALL 1023
#define IDC_RPT_CORRUPT 1024
#define IDC_RPT_ERRORS 1025
#define IDC_VIRUS_LIST 1026
#define IDC_STATUS 1027
#define IDC_MOVE 1028
#define IDC_ABOUT_TEXT 1030
// The same number twice on purpose: control ids are the program's fixed,
// published numbers, and these two live in different windows (the main window
// and the about box), so they never meet.
#define IDC_REMOVE_MACROS 1031
#define IDC_README 1031
#define IDC_VIEW_REPORT 1036
#define IDC_DELETE_REPORT 1037
#define IDC_ABOUT 1039

// Status message from the scan worker to the main window.
#define WM_SCAN_STATUS 15000
