#include <cstring>
#include <string>

#include "device/HidDevice.h"

namespace {

bool IsHidClass(const Guid& g)
{
    return g.Data1 == kHidInterfaceClass.Data1 && g.Data2 == kHidInterfaceClass.Data2 &&
           g.Data3 == kHidInterfaceClass.Data3 && std::memcmp(g.Data4, kHidInterfaceClass.Data4, sizeof g.Data4) == 0;
}

}  // namespace

hidplat::Handle OpenHidInterface(const Guid* interfaceClass, std::uint32_t memberIndex, char* pathOut,
                                 std::uint32_t pathLimit, std::uint32_t /*extraFlags*/)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();

    // The list of another class holds nothing here.
    std::string path;
    const hidplat::Listing found = interfaceClass != nullptr && IsHidClass(*interfaceClass)
                                       ? os.InterfaceAt(memberIndex, &path)
                                       : hidplat::Listing::kPastTheEnd;
    switch (found) {
    case hidplat::Listing::kNoList:
        hidplat::Diagnose("No se encuentra mando\n");
        return nullptr;
    case hidplat::Listing::kPastTheEnd:
        hidplat::Diagnose("Request interface data error\n");
        return nullptr;
    case hidplat::Listing::kNoDetailBuffer:
        hidplat::Diagnose("Request size of symbolic link name error\n");
        return nullptr;
    case hidplat::Listing::kDetailUnreadable:
        hidplat::Diagnose("Request symbolic link name error\n");
        return nullptr;
    case hidplat::Listing::kPath:
        break;
    }

    const hidplat::Handle handle = os.Open(path, hidplat::Access::kReadWrite, nullptr);
    if (pathOut != nullptr)
        std::strncpy(pathOut, path.c_str(), pathLimit);
    return handle != nullptr ? handle : kInvalidHandle;
}
