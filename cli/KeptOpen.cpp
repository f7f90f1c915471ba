#include "cli/KeptOpen.h"

#include <string>

namespace cli {

CKeptOpen::CKeptOpen(std::uint16_t vendorId, std::uint16_t productId)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    std::string path;
    for (std::uint32_t index = 0; os.InterfaceAt(index, &path) == hidplat::Listing::kPath; ++index) {
        // Who it is can be asked without waking it.
        const hidplat::Handle query = os.Open(path, hidplat::Access::kQuery, nullptr);
        if (query == nullptr)
            continue;
        hidplat::HidAttributes ids;
        const bool matches = os.ReadAttributes(query, &ids) && ids.VendorID == vendorId && ids.ProductID == productId;
        os.Close(query);
        if (!matches)
            continue;
        if (const hidplat::Handle h = os.Open(path, hidplat::Access::kReadWrite, nullptr))
            m_handles.push_back(h);
    }
}

CKeptOpen::~CKeptOpen()
{
    Release();
}

void CKeptOpen::Release()
{
    for (const hidplat::Handle h : m_handles)
        hidplat::CurrentHidPlatform().Close(h);
    m_handles.clear();
}

}  // namespace cli
