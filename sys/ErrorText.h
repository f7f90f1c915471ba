#pragma once
// What went wrong, in Spanish, the same on every system and in every locale:
// the C library speaks Spanish only where a Spanish locale was generated,
// which most machines lack, and Windows only in a Spanish installation.

#include <string>

// Error codes of our own, beside the system's.
constexpr int kSysErrorNotAFile = 0x7F01;      // a device, pipe, FIFO or socket
constexpr int kSysErrorSystemFile = 0x7F02;    // a file the kernel makes up (/proc, /sys)
constexpr int kSysErrorNoSha256 = 0x7F04;      // the system computes no SHA-256 here
constexpr int kSysErrorSystemOutput = 0x7F05;  // an output in a file system the kernel makes up
constexpr int kSysErrorNoReader = 0x7F06;      // a FIFO that nobody reads from

// An error code as sys/ hands it out: a C library code (errno), one of ours
// above, or a Windows system code negated (-GetLastError()).
constexpr int SysWindowsError(unsigned long code)
{
    return -static_cast<int>(code);
}

// What an error means to the program, whatever number the system gives it.
// The values are fixed: the web page's JavaScript hands them over as numbers.
enum class SysErrorKind {
    kOther = 0,   // only the code tells
    kDenied = 1,  // this user may not
    kBusy = 2,    // another program, or another update, holds it
    kGone = 3,    // it is not there, or no longer
};

// An error as sys/ hands it out: the system's own code, as above (0 when the
// system gives none, as a browser does), and what it means to us beside it.
struct SysError {
    int code = 0;
    SysErrorKind kind = SysErrorKind::kOther;
};

// `code` with the meaning that the table gives it.
SysError SysErrorOf(int code);
// The number as the system gave it: errno's, or Windows' own, without the sign.
long long SysErrorNumber(int code);

// Its text, or null when the table has none.
const char* SysErrorTextOrNull(int error);
// Its text; "error N" for a code the table does not know.
std::string SysErrorText(int error);
