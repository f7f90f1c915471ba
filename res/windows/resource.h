// Identifiers used by tolvanex.rc; the program's copies are in ui/Resource.h,
// and a test holds the two against each other.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_UPDATER_DIALOG  102
#define IDD_RELEASES        103
#define IDR_MAINFRAME       128
#define IDC_FILE_PATH       1000
#define IDC_OPEN_HEX        1001
#define IDC_PROGRESS        1002
#define IDC_PERCENT         1003
#define IDC_CHECKSUM        1004
#define IDC_RELEASE_STATUS  1005
#define IDC_RELEASE_LIST    1006
#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
