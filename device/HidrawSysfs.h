#pragma once
// What the parts of the hidraw backend read in sysfs: the folders the list
// starts from (HidrawRoots.h) and the small files of a device's folder.

#include <string>
#include <string_view>

#include "device/HidrawRoots.h"

namespace hidplat::hidraw {

HidrawRoots CurrentRoots();
// The device folder in sysfs of the hidraw node at `path` (/dev/hidrawN), as
// the class folder links it.
std::string DeviceLink(const std::string& path);

bool IsDirectory(int fd);
// A small file of the device folder open as `folder`, whole; false with errno set.
bool ReadAt(int folder, const char* name, std::string* out);
// The value of KEY=value in the uevent of the device folder open as `folder`.
bool UeventField(int folder, std::string_view key, std::string* value);
// The same in the uevent of the folder at `folder`.
bool FolderUeventField(const std::string& folder, std::string_view key, std::string* value);
// A small file's first line; empty when it cannot be read.
std::string FirstLine(const std::string& file);

std::string ParentFolder(const std::string& folder);
std::string LastName(const std::string& path);

}  // namespace hidplat::hidraw
