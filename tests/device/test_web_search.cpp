// The web page's HID backend (device/HidPlatformWeb.cpp) over stand-ins for
// its JavaScript side: a search asks the browser's chooser once, before its
// first list, however many lists it builds.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/HidDevice.h"

namespace {

struct Browser {
    int granted = 0;  // devices the page may list, none of them the controller
    int asked = 0;    // lists built with the chooser allowed
    int listed = 0;   // lists built without it
    int open = 0;
} g_browser;

}  // namespace

extern "C" {
int tvx_hid_list(int ask, int, int)
{
    ++(ask != 0 ? g_browser.asked : g_browser.listed);
    return 1;
}
int tvx_hid_list_size(int)
{
    return g_browser.granted;
}
int tvx_hid_list_device(int, int index)
{
    return index;
}
void tvx_hid_list_free(int) {}
int tvx_hid_open(int device)
{
    ++g_browser.open;
    return device + 1;
}
int tvx_hid_ids(int, std::uint16_t* vendorId, std::uint16_t* productId)
{
    *vendorId = 0x046D;
    *productId = 0xC31C;
    return 1;
}
int tvx_hid_caps(int, std::uint16_t*, std::uint16_t*, std::uint16_t*, std::uint16_t*, std::uint16_t*)
{
    return 1;
}
char* tvx_hid_product(int)
{
    return static_cast<char*>(std::calloc(1, 1));
}
int tvx_hid_write(int, const void*, std::uint32_t)
{
    return 0;
}
void tvx_hid_close(int)
{
    --g_browser.open;
}
int tvx_hid_last_error()
{
    return 0;
}
void tvx_hid_debug(const char*) {}
}

TEST(WebSearch, EachPressAsksTheChooserOnceBeforeItsFirstList)
{
    for (int granted : {0, 3}) {
        SCOPED_TRACE(granted);
        g_browser = Browser{granted};
        for (int press = 1; press <= 2; ++press) {
            CHidDevice device;
            EXPECT_EQ(device.OpenDevice(0x0E8F, 0x310D, 0), 0);
            EXPECT_EQ(g_browser.asked, press);
            EXPECT_EQ(g_browser.listed, press * (granted + 1));
            EXPECT_EQ(g_browser.open, 0);
        }
    }
}
