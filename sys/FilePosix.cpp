#include "sys/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int fd = -1;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// 0 when `st` is a file worth reading as firmware, else why not.
int ReadableKind(const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return kSysErrorNotAFile;
    return 0;
}

#ifdef __linux__
bool IsKernelFileSystem(const struct statfs& fs)
{
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BPF_FS_MAGIC:
    case NSFS_MAGIC:
        return true;
    default:
        return false;
    }
}
#endif

bool IsKernelFile(int fd)
{
#ifdef __linux__
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && IsKernelFileSystem(fs);
#else
    (void)fd;
    return false;
#endif
}

bool IsKernelPath(const char* path)
{
#ifdef __linux__
    struct statfs fs {};
    return ::statfs(path, &fs) == 0 && IsKernelFileSystem(fs);
#else
    (void)path;
    return false;
#endif
}

int WriteAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string Folder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return path.substr(0, slash + 1);
}

// The name that a write through `path` lands on: symbolic links followed,
// the last one even when its target does not exist yet.
int FinalName(const char* path, std::string* out)
{
    std::string name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = name;
            return 0;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        target.resize(static_cast<std::size_t>(n));
        name = target[0] == '/' ? target : Folder(name) + target;
    }
    return ELOOP;
}

// Stop signals stay blocked while a temporary file exists, so that none ends
// the process between its creation and its rename or removal.
class StopSignalsBlocked {
public:
    StopSignalsBlocked()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : kStopSignals)
            sigaddset(&set, sig);
        ::sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~StopSignalsBlocked() { ::sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

    static bool StopPending()
    {
        sigset_t pending;
        sigemptyset(&pending);
        if (::sigpending(&pending) != 0)
            return false;
        // A blocked signal waits even when ignored (SIGHUP under nohup); unblocked, it goes nowhere.
        struct sigaction action {};
        for (int sig : kStopSignals)
            if (sigismember(&pending, sig) == 1 && ::sigaction(sig, nullptr, &action) == 0 &&
                action.sa_handler != SIG_IGN)
                return true;
        return false;
    }

private:
    sigset_t m_previous;
};

// A new file in `folder` with a short name, so that the name stays valid
// wherever the target's own name is. -1 with errno set when none could be made.
int CreateTemporary(const std::string& folder, mode_t mode, std::string* name)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint32_t seed = static_cast<std::uint32_t>(::getpid()) * 2654435761u ^
                         static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + ".tvx";
        for (int i = 0; i < 6; ++i) {
            seed = seed * 1103515245u + 12345u + static_cast<std::uint32_t>(attempt);
            candidate += kLetters[(seed >> 16) % (sizeof kLetters - 1)];
        }
        const int fd = OpenRetrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, mode);
        if (fd >= 0) {
            *name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

int WriteInPlace(const char* path, const void* data, std::size_t size)
{
    const int fd = OpenRetrying(path, O_WRONLY | O_NOCTTY);
    if (fd < 0)
        return errno;
    int failure = WriteAll(fd, data, size);
    if (::close(fd) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    return failure;
}

// *tmpFailed tells that the error came from making the temporary file.
int ReplaceRegular(const std::string& target, const void* data, std::size_t size, bool* tmpFailed)
{
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // The rename asks only the folder: a file the user may not write is kept, as cp and the shell keep it.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;

    StopSignalsBlocked blocked;
    std::string tmp;
    const int fd = CreateTemporary(Folder(target), 0644, &tmp);
    if (fd < 0) {
        *tmpFailed = true;
        return errno;
    }
    int failure = 0;
    if (exists) {
        mode_t mode = old.st_mode & 07777;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));  // never hand these to another owner
        if (::fchmod(fd, mode) != 0)
            failure = errno;
    }
    if (failure == 0)
        failure = WriteAll(fd, data, size);
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    if (failure == 0 && StopSignalsBlocked::StopPending())
        failure = EINTR;
    if (failure == 0 && ::rename(tmp.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0)
        ::unlink(tmp.c_str());
    return failure;
}

}  // namespace

bool SysIsAbsolutePath(const char* path)
{
    return path[0] == '/';
}

int SysOpenForRead(const char* path, int* error)
{
    // Look before opening: opening a device can have effects of its own.
    struct stat st {};
    if (::stat(path, &st) != 0) {
        *error = errno;
        return -1;
    }
    if ((*error = ReadableKind(st)) != 0)
        return -1;
    if (IsKernelPath(path)) {
        *error = kSysErrorSystemFile;
        return -1;
    }
    // O_NONBLOCK: whatever the path names by the time it opens, opening does not wait.
    const int fd = OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int failure = ::fstat(fd, &st) != 0 ? errno : ReadableKind(st);
    if (failure == 0 && IsKernelFile(fd))
        failure = kSysErrorSystemFile;
    if (failure == 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            failure = errno;
    }
    if (failure != 0) {
        ::close(fd);
        *error = failure;
        return -1;
    }
    return fd;
}

int SysStandardInput()
{
    return STDIN_FILENO;
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

bool SysWriteOutput(const char* path, const void* data, std::size_t size, std::string* reason)
{
    int failure = 0;
    struct stat st {};
    // The kernel's files take no image, and its folders no new file.
    const bool exists = ::stat(path, &st) == 0;
    const std::string folder = Folder(path);
    if (exists ? IsKernelPath(path) : IsKernelPath(folder.empty() ? "." : folder.c_str())) {
        failure = kSysErrorSystemOutput;
    } else if (exists && !S_ISREG(st.st_mode)) {
        failure = S_ISDIR(st.st_mode) ? EISDIR : WriteInPlace(path, data, size);
    } else {
        std::string target;
        failure = FinalName(path, &target);
        bool tmpFailed = false;
        if (failure == 0)
            failure = ReplaceRegular(target, data, size, &tmpFailed);
        if (tmpFailed) {
            *reason = TemporaryFileReason(Folder(target), SysErrorText(failure));
            return false;
        }
    }
    if (failure != 0) {
        *reason = SysErrorText(failure);
        return false;
    }
    return true;
}

namespace {

bool IdOfRegular(const struct stat& st, SysFileId* id)
{
    if (!S_ISREG(st.st_mode))
        return false;
    id->volume = static_cast<unsigned long long>(st.st_dev);
    id->index = static_cast<unsigned long long>(st.st_ino);
    return true;
}

}  // namespace

bool SysFileIdOf(const char* path, SysFileId* id)
{
    struct stat st {};
    return ::stat(path, &st) == 0 && IdOfRegular(st, id);
}

bool SysFileIdOfOpen(int fd, SysFileId* id)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && IdOfRegular(st, id);
}

bool SysStandardStreamId(int stream, SysFileId* id)
{
    return SysFileIdOfOpen(stream == 0 ? STDIN_FILENO : stream == 2 ? STDERR_FILENO : STDOUT_FILENO, id);
}

std::string SysPathBeside(const std::string& file, const std::string& relative)
{
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? relative : file.substr(0, slash + 1) + relative;
}

bool SysSameFile(const char* a, const char* b)
{
    SysFileId ia;
    SysFileId ib;
    return SysFileIdOf(a, &ia) && SysFileIdOf(b, &ib) && ia == ib;
}

bool SysWriteStandardOutput(const void* data, std::size_t size, int* error)
{
    const int failure = WriteAll(STDOUT_FILENO, data, size);
    if (failure != 0)
        *error = failure;
    return failure == 0;
}

int SysOpenForAppend(const char* path, bool create, int* error)
{
    const int flags = O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK | (create ? O_CREAT : 0);
    const int fd = OpenRetrying(path, flags, 0644);
    if (fd < 0) {
        struct stat st {};
        // O_NONBLOCK makes a FIFO that nobody reads ENXIO, which says "device" elsewhere.
        *error = errno == ENXIO && ::stat(path, &st) == 0 && S_ISFIFO(st.st_mode) ? kSysErrorNoReader : errno;
        return -1;
    }
    struct stat st {};
    int failure = ::fstat(fd, &st) != 0 ? errno : 0;
    if (failure == 0 && IsKernelFile(fd))
        failure = kSysErrorSystemOutput;
    const int status = failure == 0 ? ::fcntl(fd, F_GETFL) : -1;
    if (failure == 0 && (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0))
        failure = errno;
    if (failure != 0) {
        ::close(fd);
        *error = failure;
        return -1;
    }
    return fd;
}

int SysCreatableError(const char* path)
{
    const std::string named = Folder(path);
    const char* folder = named.empty() ? "." : named.c_str();
    struct stat st {};
    if (::stat(folder, &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (IsKernelPath(folder))
        return kSysErrorSystemOutput;
    return ::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

bool SysEndsMidLine(const char* path)
{
    // Look before opening: opening a device can have effects of its own.
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return false;
    const int fd = OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    char last = '\n';
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 || ::pread(fd, &last, 1, st.st_size - 1) != 1)
        last = '\n';
    ::close(fd);
    return last != '\n';
}

bool SysAppend(int fd, const std::string& text, std::size_t* written, int* error)
{
    // One write when it goes through whole; after a short one, the rest is
    // tried until the system says why it takes no more (a full disk, the
    // size limit of ulimit -f).
    *written = 0;
    while (*written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + *written, text.size() - *written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        *written += static_cast<std::size_t>(n);
    }
    return true;
}
