#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/HidDevice.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

hidplat::Handle OpenHidInterface(const hidplat::Guid* interfaceClass, std::uint32_t memberIndex, char* pathOut,
                                 std::uint32_t pathLimit, std::uint32_t extraFlags)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();

    hidplat::DevInfoList list =
        os.GetClassDevs(interfaceClass, hidplat::kDigcfPresent | hidplat::kDigcfDeviceInterface);
    if (list == hidplat::kInvalidDevInfoList) {
        hidplat::Diagnose("No se encuentra mando\n");
        return nullptr;
    }

    hidplat::InterfaceData data{};
    data.cbSize = sizeof(data);
    if (!os.EnumDeviceInterfaces(list, interfaceClass, memberIndex, &data)) {
        hidplat::Diagnose("Request interface data error\n");
        os.DestroyDeviceInfoList(list);
        return nullptr;
    }

    // Fails for want of a buffer; it only reports the size.
    std::uint32_t required = 0;
    os.GetDeviceInterfaceDetail(list, &data, nullptr, 0, &required);

    // Never smaller than the fixed part, which is written before the call.
    const std::uint32_t size = required < sizeof(hidplat::InterfaceDetailA)
                                   ? static_cast<std::uint32_t>(sizeof(hidplat::InterfaceDetailA))
                                   : required;
    std::unique_ptr<hidplat::InterfaceDetailA, FreeDeleter> detail(
        static_cast<hidplat::InterfaceDetailA*>(std::calloc(1, size)));
    if (!detail) {
        hidplat::Diagnose("Request size of symbolic link name error\n");
        os.DestroyDeviceInfoList(list);
        return nullptr;
    }

    detail->cbSize = sizeof(hidplat::InterfaceDetailA);
    if (!os.GetDeviceInterfaceDetail(list, &data, detail.get(), size, nullptr)) {
        hidplat::Diagnose("Request symbolic link name error\n");
        os.DestroyDeviceInfoList(list);
        return nullptr;
    }

    // The platform promises a terminated path; do not read past the buffer if it broke that.
    const std::size_t pathRoom = size - offsetof(hidplat::InterfaceDetailA, DevicePath);
    char* path = detail->DevicePath;
    path[pathRoom - 1] = '\0';

    hidplat::Handle handle =
        os.OpenInterface(path, hidplat::kGenericRead | hidplat::kGenericWrite,
                         hidplat::kFileShareRead | hidplat::kFileShareWrite | hidplat::kFileShareDelete,
                         hidplat::kOpenExisting, extraFlags | hidplat::kFileAttributeNormal);

    if (pathOut != nullptr)
        std::strncpy(pathOut, path, pathLimit);

    detail.reset();
    os.DestroyDeviceInfoList(list);
    return handle;
}
