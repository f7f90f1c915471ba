#pragma once
// Identifiers of the dialogs and their resources, as the Windows build has them.

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_UPDATER_DIALOG = 102;
constexpr int IDD_RELEASES = 103;
// windows.h has these two as macros of the same values.
#ifndef IDOK
constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
constexpr int IDCANCEL = 2;
#endif
constexpr int IDC_STATIC = -1;
constexpr int IDC_FILE_PATH = 1000;
constexpr int IDC_OPEN_HEX = 1001;
constexpr int IDC_PROGRESS = 1002;
constexpr int IDC_PERCENT = 1003;
constexpr int IDC_CHECKSUM = 1004;
constexpr int IDC_RELEASE_STATUS = 1005;
constexpr int IDC_RELEASE_LIST = 1006;
constexpr int IDR_MAINFRAME = 128;
constexpr unsigned IDS_ABOUTBOX = 101;
constexpr unsigned IDM_ABOUTBOX = 0x0010;
