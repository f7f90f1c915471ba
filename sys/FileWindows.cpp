#include "sys/File.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "sys/Process.h"
#include "sys/Utf16.h"

// Paths and texts are UTF-8 inside the program; Windows takes them as UTF-16
// at the W functions, so no name depends on the system's ANSI code page.

namespace {

std::wstring Wide(const char* utf8)
{
    const std::u16string wide = Utf8ToUtf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}

// True when another program holds `path` open without letting it be replaced.
bool HeldOpenElsewhere(const std::wstring& path)
{
    const HANDLE file = ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(file);
    return false;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The C runtime's code for the system errors that both systems know; the
// others are kept whole, negated, so that a file another program holds open
// is told as such and not as a refusal.
int ErrnoOf(DWORD failure)
{
    switch (failure) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    default:
        return SysWindowsError(failure);
    }
}

DWORD WriteAll(HANDLE file, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
            const DWORD failure = ::GetLastError();
            return failure != 0 ? failure : static_cast<DWORD>(ERROR_WRITE_FAULT);
        }
        p += written;
        size -= written;
    }
    return 0;
}

std::wstring Folder(const std::wstring& path)
{
    const std::size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

// A new file in `folder` with a short name; INVALID_HANDLE_VALUE with the
// last error set when none could be made.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring* name)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[16];
        std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".tvx%04lx%02x",
                      static_cast<unsigned long>(::GetCurrentProcessId() & 0xFFFF), attempt);
        *name = folder + suffix;
        file = ::CreateFileW(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return file;
}

// *tmpFailed tells that the error came from making the temporary file.
DWORD ReplaceRegular(const std::wstring& target, const void* data, std::size_t size, bool* tmpFailed)
{
    // A file the user may not write (read-only, or so its rights say) is kept, as copy keeps it.
    const HANDLE existing =
        ::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        ::CloseHandle(existing);
    } else if (const DWORD refused = ::GetLastError(); refused == ERROR_ACCESS_DENIED) {
        return refused;
    }
    // A stop request while the temporary file exists is held until it is gone.
    SysHoldStopRequests(nullptr);
    std::wstring tmp;
    const HANDLE file = CreateTemporary(Folder(target), &tmp);
    DWORD failure = 0;
    if (file == INVALID_HANDLE_VALUE) {
        failure = ::GetLastError();
        *tmpFailed = true;
    } else {
        failure = WriteAll(file, data, size);
        if (failure == 0 && !::FlushFileBuffers(file))
            failure = ::GetLastError();
        if (!::CloseHandle(file) && failure == 0)
            failure = ::GetLastError();
        if (failure == 0 && SysStopRequestHeld())
            failure = ERROR_OPERATION_ABORTED;
        // An existing file keeps its attributes (hidden, system, ...).
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (failure == 0 && attributes != INVALID_FILE_ATTRIBUTES)
            ::SetFileAttributesW(tmp.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        if (failure == 0 &&
            !::MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            failure = ::GetLastError();
            // Windows says "access denied" when another program holds the target open; say that.
            if (failure == ERROR_ACCESS_DENIED && HeldOpenElsewhere(target))
                failure = ERROR_SHARING_VIOLATION;
        }
        if (failure != 0)
            ::DeleteFileW(tmp.c_str());
    }
    if (const int request = SysReleaseStopRequests())
        SysEndAsStopped(request);
    return failure;
}

}  // namespace

bool SysIsAbsolutePath(const char* path)
{
    const auto slash = [](char c) { return c == '\\' || c == '/'; };
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':';
    // Not "C:x" nor "\x": those start from a current folder, that drive's, or the current drive.
    return (drive && slash(path[2])) || (slash(path[0]) && slash(path[1]));
}

int SysOpenForRead(const char* path, int* error)
{
    const std::wstring wide = Wide(path);
    // Deny others writing while the file is read, as the update tool always
    // has; reading too, as it always has.
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD failure = ::GetLastError();
        // Windows refuses to open a folder as a file with "access denied"; say what it is.
        *error = failure == ERROR_ACCESS_DENIED && IsFolder(wide) ? EISDIR : ErrnoOf(failure);
        return -1;
    }
    // NUL, CON, COM1 and pipes open like files; only a disk file is firmware.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        *error = kSysErrorNotAFile;
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *error = errno;
        ::CloseHandle(file);
        return -1;
    }
    return fd;
}

int SysStandardInput()
{
    ::_setmode(0, _O_BINARY);
    return 0;
}

long long SysRead(int fd, void* buffer, std::size_t size, int* error)
{
    const unsigned int count = size > INT_MAX ? static_cast<unsigned int>(INT_MAX) : static_cast<unsigned int>(size);
    const int n = ::_read(fd, buffer, count);
    if (n < 0) {
        *error = errno;
        return -1;
    }
    return n;
}

void SysClose(int fd)
{
    ::_close(fd);
}

bool SysWriteOutput(const char* path, const void* data, std::size_t size, std::string* reason)
{
    const std::wstring wide = Wide(path);
    if (IsFolder(wide)) {
        *reason = SysErrorText(EISDIR);
        return false;
    }
    DWORD failure = 0;
    // NUL, CON, a pipe: written in place.
    const HANDLE existing = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE && ::GetFileType(existing) != FILE_TYPE_DISK) {
        failure = WriteAll(existing, data, size);
        ::CloseHandle(existing);
    } else {
        if (existing != INVALID_HANDLE_VALUE)
            ::CloseHandle(existing);
        bool tmpFailed = false;
        failure = ReplaceRegular(wide, data, size, &tmpFailed);
        if (tmpFailed) {
            const std::wstring folder = Folder(wide);
            *reason = TemporaryFileReason(Utf16ToUtf8(std::u16string(folder.begin(), folder.end())),
                                          SysErrorText(ErrnoOf(failure)));
            return false;
        }
    }
    if (failure != 0) {
        *reason = SysErrorText(ErrnoOf(failure));
        return false;
    }
    return true;
}

std::string SysPathBeside(const std::string& file, const std::string& relative)
{
    // "C:firmware.json" lies in drive C's current folder: the drive is its folder.
    const std::size_t end = file.find_last_of("/\\:");
    std::string path = end == std::string::npos ? std::string() : file.substr(0, end + 1);
    for (char c : relative)
        path += c == '/' ? '\\' : c;
    return path;
}

namespace {

// The identity of an open handle, when it is a file on a disk and not a folder.
bool IdOfHandle(HANDLE h, SysFileId* id)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (h == nullptr || h == INVALID_HANDLE_VALUE || ::GetFileType(h) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

bool SysFileIdOf(const char* path, SysFileId* id)
{
    // No access asked: only its identity is read, whoever holds it open.
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = IdOfHandle(h, id);
    ::CloseHandle(h);
    return ok;
}

bool SysFileIdOfOpen(int fd, SysFileId* id)
{
    return IdOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), id);
}

bool SysStandardStreamId(int stream, SysFileId* id)
{
    const DWORD which = stream == 0 ? STD_INPUT_HANDLE : stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    return IdOfHandle(::GetStdHandle(which), id);
}

bool SysSameFile(const char* a, const char* b)
{
    SysFileId ia;
    SysFileId ib;
    return SysFileIdOf(a, &ia) && SysFileIdOf(b, &ib) && ia == ib;
}

bool SysWriteStandardOutput(const void* data, std::size_t size, int* error)
{
    ::_setmode(1, _O_BINARY);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned int chunk =
            size > INT_MAX ? static_cast<unsigned int>(INT_MAX) : static_cast<unsigned int>(size);
        const int n = ::_write(1, p, chunk);
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int SysOpenForAppend(const char* path, bool create, int* error)
{
    const std::wstring wide = Wide(path);
    // Only appending: each write lands at the end, whoever else adds to the file.
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD failure = ::GetLastError();
        *error = failure == ERROR_ACCESS_DENIED && IsFolder(wide) ? EISDIR : ErrnoOf(failure);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (fd < 0) {
        *error = errno;
        ::CloseHandle(file);
        return -1;
    }
    return fd;
}

int SysCreatableError(const char* path)
{
    // Only the folder's existence: Windows tells what may be written only by writing.
    const std::wstring folder = Folder(Wide(path));
    if (folder.empty())
        return 0;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ErrnoOf(::GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ENOTDIR;
}

bool SysEndsMidLine(const char* path)
{
    const HANDLE file =
        ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    LARGE_INTEGER last = {};
    char byte = '\n';
    DWORD got = 0;
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        last.QuadPart = size.QuadPart - 1;
        if (!::SetFilePointerEx(file, last, nullptr, FILE_BEGIN) || !::ReadFile(file, &byte, 1, &got, nullptr) ||
            got != 1)
            byte = '\n';
    }
    ::CloseHandle(file);
    return byte != '\n';
}

bool SysAppend(int fd, const std::string& text, std::size_t* written, int* error)
{
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD done = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
                    done == text.size();
    *written = done;
    if (ok)
        return true;
    *error = file == INVALID_HANDLE_VALUE ? EBADF : done != 0 ? ENOSPC : ErrnoOf(::GetLastError());
    return false;
}
