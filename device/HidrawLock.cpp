#include "device/HidrawLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "device/HidrawController.h"
#include "sys/ErrorText.h"

namespace hidplat::hidraw {

LockResult CControllerLocks::Lock(Handle handle, const std::string& path, std::string* why)
{
    ControllerFolder controller;
    if (!FindControllerFolder(path, &controller, why))
        return LockResult::kFailed;
    const int fd = open(controller.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int result = fd < 0 ? -1 : 0;
    if (fd >= 0) {
        do {
            result = flock(fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
    }
    if (result == 0) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_locks[handle] = fd;
        return LockResult::kLocked;
    }
    const int error = errno;
    if (fd >= 0)
        close(fd);
    if (error == EWOULDBLOCK)
        return LockResult::kBusy;
    if (why != nullptr)
        *why = controller.folder + ": " + SysErrorText(error);
    return LockResult::kFailed;
}

void CControllerLocks::Unlock(Handle handle)
{
    int fd = -1;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (auto found = m_locks.find(handle); found != m_locks.end()) {
            fd = found->second;
            m_locks.erase(found);
        }
    }
    if (fd >= 0)
        close(fd);
}

LockResult CControllerLocks::Probe(const std::string& path, std::string* why)
{
    ControllerFolder controller;
    struct stat st {};
    if (!FindControllerFolder(path, &controller, why))
        return LockResult::kFailed;
    if (stat(controller.folder.c_str(), &st) != 0) {
        if (why != nullptr)
            *why = controller.folder + ": " + SysErrorText(errno);
        return LockResult::kFailed;
    }
    // The flock table: "1: FLOCK  ADVISORY  WRITE 1234 00:05:567 0 EOF",
    // the file named by its file system's device (hex) and its inode.
    std::ifstream locks("/proc/locks");
    char id[64];
    std::snprintf(id, sizeof id, " %02x:%02x:%llu ", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    for (std::string line; std::getline(locks, line);) {
        if (line.find(" FLOCK ") != std::string::npos && (line + " ").find(id) != std::string::npos)
            return LockResult::kBusy;
    }
    return LockResult::kLocked;
}

}  // namespace hidplat::hidraw
