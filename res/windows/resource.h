// Identifiers used by tolvanex.rc; the program's copies are in ui/Resource.h.
#pragma once

#define IDS_ABOUTBOX        101
#define IDR_MAINFRAME       128
