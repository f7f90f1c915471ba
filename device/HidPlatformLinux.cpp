// Placeholder until the hidraw backend lands: a system with no HID interfaces.
#include "device/HidPlatform.h"

namespace hidplat {
namespace {
class LinuxHidPlatform final : public IHidPlatform {
public:
    void GetHidGuid(Guid* guid) override { *guid = Guid{}; }
    DevInfoList GetClassDevs(const Guid*, std::uint32_t) override { return this; }
    bool EnumDeviceInterfaces(DevInfoList, const Guid*, std::uint32_t, InterfaceData*) override { return false; }
    bool GetDeviceInterfaceDetail(DevInfoList, const InterfaceData*, InterfaceDetailA*, std::uint32_t,
                                  std::uint32_t*) override { return false; }
    void DestroyDeviceInfoList(DevInfoList) override {}
    Handle OpenInterface(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override
    {
        return kInvalidHandle;
    }
    bool GetAttributes(Handle, HidAttributes*) override { return false; }
    bool GetPreparsedData(Handle, PreparsedData**) override { return false; }
    bool GetCaps(PreparsedData*, HidCaps*) override { return false; }
    void FreePreparsedData(PreparsedData*) override {}
    bool WriteFile(Handle, const void*, std::uint32_t, std::uint32_t*) override { return false; }
    void CloseHandle(Handle) override {}
    void DebugOutput(const char*) override {}
};
}  // namespace

IHidPlatform& NativeHidPlatform()
{
    static LinuxHidPlatform platform;
    return platform;
}
}  // namespace hidplat
