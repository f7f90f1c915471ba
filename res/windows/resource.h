// Identifiers shared by tolvanex.rc and the program.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_UPDATER_DIALOG  102
#define IDR_MAINFRAME       128
#define IDM_ABOUTBOX        0x0010
