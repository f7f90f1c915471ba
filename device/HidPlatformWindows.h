#pragma once
// What the Windows backend asks of the system and names in it, for whoever
// must find it there.

#include <string>

#include "device/HidPlatform.h"

namespace hidplat {

// What CreateFileA gets to open an interface (no security attributes, no template).
struct InterfaceOpenArguments {
    unsigned long access;
    unsigned long share;
    unsigned long disposition;
    unsigned long flagsAndAttributes;
};
InterfaceOpenArguments InterfaceOpen(Access access);

// The name of the object whose existence holds the controller with `key`
// (ControllerInfo::key) for one update.
std::wstring ControllerLockName(const std::string& key);

}  // namespace hidplat
