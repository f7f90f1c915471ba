#include "cli/KeptOpen.h"

#include <string>
#include <thread>

namespace cli {

CKeptOpen::CKeptOpen(std::uint16_t vendorId, std::uint16_t productId)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    // Who each one is can be asked at once; only the open waits.
    std::vector<std::string> paths;
    std::string path;
    for (std::uint32_t index = 0; os.InterfaceAt(index, &path) == hidplat::Listing::kPath; ++index) {
        const hidplat::Handle query = os.Open(path, hidplat::Access::kQuery, nullptr);
        if (query == nullptr)
            continue;
        hidplat::HidAttributes ids;
        if (os.ReadAttributes(query, &ids) && ids.VendorID == vendorId && ids.ProductID == productId)
            paths.push_back(path);
        os.Close(query);
    }
    m_handles.assign(paths.size(), nullptr);
    std::vector<std::thread> openers;
    for (std::size_t i = 0; i < paths.size(); ++i)
        openers.emplace_back([&, i] { m_handles[i] = os.Open(paths[i], hidplat::Access::kReadWrite, nullptr); });
    for (std::thread& t : openers)
        t.join();
}

CKeptOpen::~CKeptOpen()
{
    Release();
}

void CKeptOpen::Release()
{
    for (const hidplat::Handle h : m_handles) {
        if (h != nullptr)
            hidplat::CurrentHidPlatform().Close(h);
    }
    m_handles.clear();
}

}  // namespace cli
