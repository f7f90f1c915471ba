#pragma once
// The controllers' interfaces kept open while --all looks them over and
// opens each for its update. A USB HID device's first opener waits for it
// (Linux's usbhid sleeps 50 ms, to let stale input drain), and the survey and
// then each search open the interfaces one after another; opened here all at
// once, and kept open, every later open finds the device awake.

#include <cstdint>
#include <vector>

#include "device/HidPlatform.h"

namespace cli {

class CKeptOpen {
public:
    // Opens, side by side, every present interface with these IDs; one
    // that does not open is left to the search to tell of.
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
