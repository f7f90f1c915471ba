#include "device/SystemFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

std::string WindowsErrorText(DWORD code)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr)
        result.assign(text, n);
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                               result.back() == '.'))
        result.pop_back();
    if (result.empty())
        result = "error " + std::to_string(code);
    return result;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int SysOpenForRead(const char* path, int* error)
{
    // Deny others reading and writing while the file is read, as the update tool always has.
    int fd = -1;
    const errno_t failure = ::_sopen_s(&fd, path, _O_RDONLY | _O_BINARY, _SH_DENYRW, _S_IREAD);
    if (failure != 0) {
        // Windows refuses to open a folder as a file with "access denied"; say what it is.
        *error = (failure == EACCES && IsFolder(path)) ? EISDIR : failure;
        return -1;
    }
    struct _stat64 st {};
    if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFDIR) {
        *error = (st.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : errno;
        ::_close(fd);
        return -1;
    }
    return fd;
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

std::string SysErrorText(int error)
{
    char text[256] = {};
    if (::strerror_s(text, sizeof text, error) != 0 || text[0] == '\0')
        return "error " + std::to_string(error);
    return text;
}

bool SysWriteFileReplacing(const char* path, const void* data, std::size_t size, std::string* reason)
{
    // A new file beside the target, so the rename stays on one volume.
    std::string tmp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".%lx-%u.tmp", static_cast<unsigned long>(::GetCurrentProcessId()),
                      attempt);
        tmp = std::string(path) + suffix;
        file = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        *reason = WindowsErrorText(::GetLastError());
        return false;
    }

    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    DWORD failure = 0;
    while (left > 0 && failure == 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
            failure = ::GetLastError();
            if (failure == 0)
                failure = ERROR_WRITE_FAULT;
            break;
        }
        p += written;
        left -= written;
    }
    if (failure == 0 && !::FlushFileBuffers(file))
        failure = ::GetLastError();
    if (!::CloseHandle(file) && failure == 0)
        failure = ::GetLastError();
    if (failure == 0 &&
        !::MoveFileExA(tmp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failure = ::GetLastError();
    if (failure != 0) {
        ::DeleteFileA(tmp.c_str());
        *reason = WindowsErrorText(failure);
        return false;
    }
    return true;
}

bool SysStderrIsTerminal()
{
    // Only a console takes the carriage returns of the progress line as meant.
    DWORD mode = 0;
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    return err != nullptr && err != INVALID_HANDLE_VALUE && ::GetConsoleMode(err, &mode) != FALSE;
}

void SysUseUtf8Console()
{
    // The CLI's texts are UTF-8; a console left on its OEM code page garbles "ó".
    ::SetConsoleOutputCP(CP_UTF8);
}
