#pragma once
// What the Windows backend names in the system, for whoever must find it there.

#include <string>

namespace hidplat {

// The name of the object whose existence holds the controller with `key`
// (ControllerInfo::key) for one update.
std::wstring ControllerLockName(const std::string& key);

}  // namespace hidplat
