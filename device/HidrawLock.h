#pragma once
// Controllers held for one update each, across processes: a lock on the
// controller's own folder in sysfs. Every interface of a controller leads
// there, and a controller plugged in again has a new folder.

#include <map>
#include <mutex>
#include <string>

#include "device/HidPlatform.h"

namespace hidplat::hidraw {

class CControllerLocks {
public:
    // Holds the controller of the hidraw node at `path` until Unlock(`handle`).
    LockResult Lock(Handle handle, const std::string& path, std::string* why);
    // Nothing when `handle` holds none.
    void Unlock(Handle handle);
    // What Lock would give now, from the kernel's table of locks, taking none.
    static LockResult Probe(const std::string& path, std::string* why);

private:
    std::mutex m_mutex;
    std::map<Handle, int> m_locks;  // interface handle -> the descriptor that holds its controller's lock
};

}  // namespace hidplat::hidraw
