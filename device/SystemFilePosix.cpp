#include "device/SystemFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int SysOpenForRead(const char* path, int* error)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

long long SysRead(int fd, void* buffer, std::size_t size, int* error)
{
    if (size > SSIZE_MAX)
        size = SSIZE_MAX;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            *error = errno;
            return -1;
        }
    }
}

void SysClose(int fd)
{
    ::close(fd);
}

std::string SysErrorText(int error)
{
    return std::strerror(error);
}

bool SysWriteFileReplacing(const char* path, const void* data, std::size_t size, std::string* reason)
{
    std::string tmp = std::string(path) + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644 & ~[] { mode_t m = ::umask(0); ::umask(m); return m; }());
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    int failure = 0;
    while (left > 0 && failure == 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno != EINTR)
                failure = errno;
            continue;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(tmp.c_str(), path) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(tmp.c_str());
        *reason = std::strerror(failure);
        return false;
    }
    return true;
}

bool SysStderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void SysUseUtf8Console()
{
    // Terminals here take the bytes as they are.
}
