#pragma once
// The controllers' interfaces kept open while --all looks them over and
// opens each for its update. The first open of a USB HID device waits for it
// (Linux's usbhid sleeps 50 ms, to let stale input drain, and every hidraw
// write in the system waits meanwhile); the survey and then each search open
// every interface again. Kept open from here, each is woken once, and the
// later opens find it awake.

#include <cstdint>
#include <vector>

#include "device/HidPlatform.h"

namespace cli {

class CKeptOpen {
public:
    // Opens every present interface with these IDs; one that does not open
    // is left to the search to tell of.
    CKeptOpen(std::uint16_t vendorId, std::uint16_t productId);
    ~CKeptOpen();
    CKeptOpen(const CKeptOpen&) = delete;
    CKeptOpen& operator=(const CKeptOpen&) = delete;

    // Closes them now.
    void Release();

private:
    std::vector<hidplat::Handle> m_handles;
};

}  // namespace cli
