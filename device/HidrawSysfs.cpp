#include "device/HidrawSysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <utility>

namespace hidplat {

namespace {

std::mutex g_rootsMutex;

HidrawRoots& Roots()
{
    static HidrawRoots roots = DefaultHidrawRoots();
    return roots;
}

}  // namespace

HidrawRoots DefaultHidrawRoots()
{
    return HidrawRoots{"/sys/class/hidraw", "/dev"};
}

HidrawRoots SetHidrawRoots(HidrawRoots roots)
{
    std::lock_guard<std::mutex> lock(g_rootsMutex);
    return std::exchange(Roots(), std::move(roots));
}

namespace hidraw {

HidrawRoots CurrentRoots()
{
    std::lock_guard<std::mutex> lock(g_rootsMutex);
    return Roots();
}

std::string DeviceLink(const std::string& path)
{
    return CurrentRoots().sysfsClass + "/" + LastName(path) + "/device";
}

bool IsDirectory(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadAt(int folder, const char* name, std::string* out)
{
    const int fd = openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out->clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            return n == 0;
        }
        out->append(buffer, static_cast<std::size_t>(n));
    }
}

bool UeventField(int folder, std::string_view key, std::string* value)
{
    std::string uevent;
    if (!ReadAt(folder, "uevent", &uevent))
        return false;
    std::size_t at = 0;
    while (at < uevent.size()) {
        std::size_t end = uevent.find('\n', at);
        if (end == std::string::npos)
            end = uevent.size();
        const std::string_view line(uevent.data() + at, end - at);
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
            *value = std::string(line.substr(key.size() + 1));
            return true;
        }
        at = end + 1;
    }
    return false;
}

bool FolderUeventField(const std::string& folder, std::string_view key, std::string* value)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool found = UeventField(fd, key, value);
    close(fd);
    return found;
}

std::string FirstLine(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string ParentFolder(const std::string& folder)
{
    const std::size_t slash = folder.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
}

std::string LastName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace hidraw
}  // namespace hidplat
