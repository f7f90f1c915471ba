#pragma once
// Identifiers of the main dialog and its resources, as the Windows build has them.

#include <QString>

constexpr int IDD_UPDATER_DIALOG = 102;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;
constexpr int IDC_FILE_PATH = 1000;
constexpr int IDC_OPEN_HEX = 1001;
constexpr int IDC_PROGRESS = 1002;
constexpr int IDC_PERCENT = 1003;
constexpr int IDC_CHECKSUM = 1004;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDS_ABOUTBOX = 101;
constexpr unsigned IDM_ABOUTBOX = 0x0010;

// The string table; empty for an identifier it does not hold.
QString LoadStringResource(int id);
