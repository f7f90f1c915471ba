#pragma once
// What went wrong, in Spanish, the same on every system and in every locale:
// the C library speaks Spanish only where a Spanish locale was generated,
// which most machines lack, and Windows only in a Spanish installation.

#include <string>

// Error codes of our own, beside the system's.
constexpr int kSysErrorNotAFile = 0x7F01;    // a device, pipe, FIFO or socket
constexpr int kSysErrorSystemFile = 0x7F02;  // a file the kernel makes up (/proc, /sys)
constexpr int kSysErrorSameFile = 0x7F03;    // output and input are one file

// An error code as sys/ hands it out: a C library code (errno), one of ours
// above, or a Windows system code negated (-GetLastError()).
constexpr int SysWindowsError(unsigned long code)
{
    return -static_cast<int>(code);
}

// Its text, or null when the table has none.
const char* SysErrorTextOrNull(int error);
// Its text; "error N" for a code the table does not know.
std::string SysErrorText(int error);
