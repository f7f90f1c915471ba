#include "device/HidrawController.h"

#include <cerrno>
#include <cstdlib>

#include "device/HidrawSysfs.h"
#include "sys/ErrorText.h"

namespace hidplat::hidraw {

bool FindControllerFolder(const std::string& path, ControllerFolder* found, std::string* why)
{
    const std::string link = DeviceLink(path);
    char* real = realpath(link.c_str(), nullptr);
    if (real == nullptr) {
        if (why != nullptr)
            *why = link + ": " + SysErrorText(errno);
        return false;
    }
    found->folder = real;
    found->usb = false;
    std::free(real);
    const std::string usbInterface = ParentFolder(found->folder);
    const std::string usbDevice = ParentFolder(usbInterface);
    std::string type;
    if (FolderUeventField(usbInterface, "DEVTYPE", &type) && type == "usb_interface" &&
        FolderUeventField(usbDevice, "DEVTYPE", &type) && type == "usb_device") {
        found->folder = usbDevice;
        found->usb = true;
    }
    return true;
}

bool DescribeController(const std::string& path, ControllerInfo* info)
{
    ControllerFolder controller;
    if (info == nullptr || !FindControllerFolder(path, &controller, nullptr))
        return false;
    *info = ControllerInfo{};
    if (controller.usb) {
        // The device number is new each time the bus enumerates the device.
        info->key = controller.folder + "#" + FirstLine(controller.folder + "/devnum");
        info->place = LastName(controller.folder);  // the port path, "1-2.3"
        info->serial = FirstLine(controller.folder + "/serial");
    } else {
        // The HID device's name carries a number of its own, new at each creation.
        info->key = controller.folder;
        FolderUeventField(controller.folder, "HID_UNIQ", &info->serial);
    }
    return true;
}

}  // namespace hidplat::hidraw
