#pragma once
// The controller that a hidraw node belongs to, found by walking sysfs up
// from the node's HID device.

#include <string>

#include "device/HidPlatform.h"

namespace hidplat::hidraw {

// The sysfs folder of the controller: the USB device when the HID device sits
// on one of its interfaces (never a USB device further up, such as a
// Bluetooth adapter), else the HID device.
struct ControllerFolder {
    std::string folder;
    bool usb = false;
};

// The controller of the hidraw node at `path`; false, with the system's
// words in `why` (if given), when its device folder cannot be found.
bool FindControllerFolder(const std::string& path, ControllerFolder* found, std::string* why);

// Its key, place (the USB port path) and serial number.
bool DescribeController(const std::string& path, ControllerInfo* info);

}  // namespace hidplat::hidraw
