#pragma once
// Where the hidraw backend looks for HID interfaces. The product always uses
// the defaults; tests move them to a tree of their own.

#include <string>

namespace hidplat {

struct HidrawRoots {
    std::string sysfsClass;  // folder whose hidrawN entries make the list
    std::string dev;         // folder holding the hidrawN device nodes
};

// /sys/class/hidraw and /dev.
HidrawRoots DefaultHidrawRoots();

// Lists built from now on use `roots`; returns the roots it replaces.
HidrawRoots SetHidrawRoots(HidrawRoots roots);

}  // namespace hidplat
