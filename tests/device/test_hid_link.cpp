// The controller search and the HID link, over the in-memory HID stack.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/HidDevice.h"
#include "device/InterfaceSurvey.h"
#include "tests/support/FakeHidPlatform.h"

namespace {

using fakehid::Interface;

Interface Other(std::string path)
{
    Interface i;
    i.path = std::move(path);
    i.vendorId = 0x845E;
    i.productId = 0x0001;
    return i;
}

class HidLink : public ::testing::Test {
protected:
    fakehid::Platform os;
    fakehid::ScopedPlatform scope{os};
};

TEST_F(HidLink, NoInterfacesEndsAtTheEndOfTheList)
{
    CHidDevice dev;
    EXPECT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 0);
    EXPECT_EQ(dev.IsOpen(), 0);
    EXPECT_EQ(dev.Handle(), kInvalidHandle);
    EXPECT_TRUE(dev.IsClosed());
    EXPECT_EQ(os.DebugLines(), std::vector<std::string>{"Request interface data error\n"});
}

TEST_F(HidLink, ExaminesAndClosesEveryNonMatchingInterface)
{
    os.SetInterfaces({Other("/a"), Other("/b"), Other("/c")});
    CHidDevice dev;
    EXPECT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 0);
    EXPECT_EQ(os.Opened(), (std::vector<std::string>{"/a", "/b", "/c"}));
    EXPECT_EQ(os.OpenHandles(), 0);
    EXPECT_EQ(os.Closes(), 3);
    EXPECT_EQ(os.ListsBuilt(), 4);  // n interfaces: the list is built n + 1 times
    EXPECT_EQ(os.DebugLines(), std::vector<std::string>{"Request interface data error\n"});
    // The fields describe the last interface examined.
    EXPECT_EQ(dev.Attributes().VendorID, 0x845E);
    EXPECT_STREQ(dev.DevicePath(), "/c");
    // One search, which alone may ask the user for a controller (a browser's
    // chooser); a survey of the interfaces asks nothing.
    EXPECT_EQ(os.Searches(), std::vector<bool>{true});
    EXPECT_EQ(SurveyHidInterfaces(0x0E8F, 0x310D).size(), 3u);
    EXPECT_EQ(os.Searches(), std::vector<bool>{true});
}

TEST_F(HidLink, InstancesCountMatchingInterfacesThatOpenInListOrder)
{
    Interface unopenable = fakehid::Controller("/dead");
    unopenable.opens = false;
    os.SetInterfaces({Other("/kbd"), unopenable, fakehid::Controller("/first", 9), Other("/mouse"),
                      fakehid::Controller("/second", 65)});
    {
        CHidDevice dev;
        ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
        EXPECT_EQ(dev.IsOpen(), 1);
        EXPECT_FALSE(dev.IsClosed());
        EXPECT_STREQ(dev.DevicePath(), "/first");
        EXPECT_EQ(dev.GetOutputReportLength(), 9u);
        EXPECT_EQ(os.OpenHandles(), 1);
        EXPECT_TRUE(os.DebugLines().empty());
    }
    EXPECT_EQ(os.OpenHandles(), 0);  // destroying an open link closes it

    CHidDevice second;
    ASSERT_EQ(second.OpenDevice(0x0E8F, 0x310D, 1), 1);
    EXPECT_STREQ(second.DevicePath(), "/second");
    EXPECT_EQ(second.GetOutputReportLength(), 65u);
    EXPECT_EQ(os.OpenHandles(), 1);  // the first match was closed again

    CHidDevice third;
    EXPECT_EQ(third.OpenDevice(0x0E8F, 0x310D, 2), 0);
}

TEST_F(HidLink, MatchingNeedsBothIds)
{
    Interface wrongProduct = fakehid::Controller("/p");
    wrongProduct.productId = 0x310E;
    Interface wrongVendor = fakehid::Controller("/v");
    wrongVendor.vendorId = 0x0E8E;
    os.SetInterfaces({wrongProduct, wrongVendor});
    CHidDevice dev;
    EXPECT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 0);
    EXPECT_EQ(os.OpenHandles(), 0);
}

TEST_F(HidLink, AnInterfaceThatCannotDescribeItselfDoesNotMatch)
{
    Interface mute = fakehid::Controller("/mute");
    mute.describes = false;
    os.SetInterfaces({mute, fakehid::Controller("/ok")});
    CHidDevice dev;
    ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_STREQ(dev.DevicePath(), "/ok");
    EXPECT_EQ(os.OpenHandles(), 1);
}

TEST_F(HidLink, EachTroubleOfTheListHasItsLineAndEndsTheWholeSearch)
{
    const struct {
        hidplat::Listing second;  // what the list answers at index 1; kNoList: no list at all
        const char* line;
        std::vector<std::string> opened;
    } cases[] = {
        {hidplat::Listing::kNoList, "No se encuentra mando\n", {}},
        {hidplat::Listing::kPastTheEnd, "Request interface data error\n", {"/a"}},
        {hidplat::Listing::kNoDetailBuffer, "Request size of symbolic link name error\n", {"/a"}},
        {hidplat::Listing::kDetailUnreadable, "Request symbolic link name error\n", {"/a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Interface broken = fakehid::Controller("/broken");
        broken.listed = c.second;
        std::vector<Interface> list{Other("/a"), broken, fakehid::Controller("/after")};
        if (c.second == hidplat::Listing::kPastTheEnd)
            list.resize(1);
        os.SetInterfaces(list);
        os.SetListFails(c.second == hidplat::Listing::kNoList);
        os.ClearRecord();
        CHidDevice dev;
        EXPECT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 0);
        EXPECT_EQ(dev.Handle(), kInvalidHandle);
        EXPECT_EQ(os.DebugLines(), std::vector<std::string>{c.line});
        EXPECT_EQ(os.Opened(), c.opened);
        EXPECT_EQ(os.OpenHandles(), 0);
    }
}

TEST_F(HidLink, OpenHidInterfaceResults)
{
    Interface closedDoor = Other("/closed");
    closedDoor.opens = false;
    os.SetInterfaces({closedDoor, Other("/open")});

    char path[8];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(OpenHidInterface(&kHidInterfaceClass, 0, path, sizeof path, 0), kInvalidHandle);
    EXPECT_STREQ(path, "/closed");  // copied whether or not the open succeeded

    hidplat::Handle h = OpenHidInterface(&kHidInterfaceClass, 1, nullptr, 0, 0);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h, kInvalidHandle);
    os.Close(h);
    EXPECT_EQ(OpenHidInterface(&kHidInterfaceClass, 2, nullptr, 0, 0), nullptr);

    // Only HID interfaces are listed: another class's list is empty.
    Guid other = kHidInterfaceClass;
    other.Data1 ^= 1;
    os.ClearRecord();
    EXPECT_EQ(OpenHidInterface(&other, 0, nullptr, 0, 0), nullptr);
    EXPECT_EQ(os.DebugLines(), std::vector<std::string>{"Request interface data error\n"});
    EXPECT_EQ(os.ListsBuilt(), 0);
}

TEST_F(HidLink, DevicePathIsFilledLikeStrncpy)
{
    const std::string longPath = "/dev/" + std::string(300, 'p');
    os.SetInterfaces({fakehid::Controller("/short"), fakehid::Controller(longPath)});

    CHidDevice shortOne;
    ASSERT_EQ(shortOne.OpenDevice(0x0E8F, 0x310D, 0), 1);
    const char* p = shortOne.DevicePath();
    EXPECT_STREQ(p, "/short");
    for (std::size_t i = 6; i < kDevicePathSize; ++i)
        ASSERT_EQ(p[i], '\0') << i;
    shortOne.Close();  // while held, it would not count as the first

    CHidDevice longOne;
    ASSERT_EQ(longOne.OpenDevice(0x0E8F, 0x310D, 1), 1);
    EXPECT_EQ(std::string(longOne.DevicePath(), kDevicePathSize), longPath.substr(0, kDevicePathSize));
}

TEST_F(HidLink, CloseHappensAtMostOnce)
{
    os.SetInterfaces({fakehid::Controller()});
    {
        CHidDevice dev;
        dev.Close();  // idle: nothing to close
        EXPECT_EQ(os.Closes(), 0);
        ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
        dev.Close();
        dev.Close();
        EXPECT_TRUE(dev.IsClosed());
        EXPECT_EQ(os.Closes(), 1);
    }
    EXPECT_EQ(os.Closes(), 1);  // destroying a closed link closes nothing
}

TEST_F(HidLink, AFailedWriteLeavesTheLinkOpen)
{
    Interface c = fakehid::Controller();
    c.failWriteAt = 1;
    os.SetInterfaces({c});
    CHidDevice dev;
    ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
    const std::uint8_t report[9] = {};
    EXPECT_NE(dev.WriteReport(report, sizeof report), 0);
    EXPECT_EQ(dev.WriteReport(report, sizeof report), 0);
    EXPECT_EQ(dev.IsOpen(), 1);
    EXPECT_FALSE(dev.IsClosed());
    EXPECT_EQ(os.OpenHandles(), 1);
}

// Two interfaces of one USB controller and a second controller: an update
// that holds the first controller keeps every interface of it from others.
Interface Of(std::string path, std::string controller, std::string place, std::string serial)
{
    Interface i = fakehid::Controller(std::move(path));
    i.controller = std::move(controller);
    i.place = std::move(place);
    i.serial = std::move(serial);
    return i;
}

TEST_F(HidLink, AHeldControllerIsPassedOverWholeAndAnotherIsStillFound)
{
    os.SetInterfaces({Of("/a0", "usb-a", "1-1", "S1"), Of("/a1", "usb-a", "1-1", "S1"),
                      Of("/b0", "usb-b", "1-2", "S2")});
    CHidDevice first;
    ASSERT_EQ(first.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_STREQ(first.DevicePath(), "/a0");
    EXPECT_EQ(first.LockTrouble(), "");

    CHidDevice second;
    ASSERT_EQ(second.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_STREQ(second.DevicePath(), "/b0") << "another interface of the controller being updated";
    EXPECT_TRUE(second.PassedOverBusy());

    CHidDevice third;
    EXPECT_EQ(third.OpenDevice(0x0E8F, 0x310D, 0), 0);
    EXPECT_TRUE(third.PassedOverBusy());

    // After the transfer the handle stays open, but the controller is free.
    first.ReleaseLock();
    EXPECT_EQ(third.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_STREQ(third.DevicePath(), "/a0");
    EXPECT_EQ(os.OpenHandles(), 3);
}

TEST_F(HidLink, AControllerWithoutALockIsUsedAndSaysWhy)
{
    Interface unlockable = fakehid::Controller("/c");
    unlockable.lockFails = true;
    os.SetInterfaces({unlockable});
    CHidDevice dev;
    ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_EQ(dev.LockTrouble(), "no queda sitio para el candado");
    EXPECT_FALSE(dev.PassedOverBusy());
    dev.Close();
    os.SetInterfaces({fakehid::Controller("/c")});
    ASSERT_EQ(dev.OpenDevice(0x0E8F, 0x310D, 0), 1);
    EXPECT_EQ(dev.LockTrouble(), "");
}

TEST_F(HidLink, ASelectionKeepsTheSearchsOrderAndInstancesWithinIt)
{
    os.SetInterfaces({Of("/a0", "usb-a", "1-1", "S1"), Other("/kbd"), Of("/b0", "usb-b", "1-2", "S2"),
                      Of("/b1", "usb-b", "1-2", "S2"), Of("/c0", "usb-c", "", "")});
    const struct {
        DeviceSelection selection;
        std::int32_t instance;
        const char* held;  // null: none
    } cases[] = {
        {{DeviceSelection::Kind::kAny, ""}, 0, "/a0"},
        {{DeviceSelection::Kind::kPath, "/B1"}, 0, "/b1"},
        {{DeviceSelection::Kind::kPath, "/kbd"}, 0, nullptr},
        {{DeviceSelection::Kind::kPlace, "1-2"}, 0, "/b0"},
        {{DeviceSelection::Kind::kPlace, "1-2"}, 1, "/b1"},
        {{DeviceSelection::Kind::kPlace, "1-2"}, 2, nullptr},
        {{DeviceSelection::Kind::kPlace, ""}, 0, nullptr},  // an unknown place is no place
        {{DeviceSelection::Kind::kSerial, "s1"}, 0, "/a0"},
        {{DeviceSelection::Kind::kController, "usb-c"}, 0, "/c0"},
        {{DeviceSelection::Kind::kSerial, "S9"}, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection.value + " #" + std::to_string(c.instance));
        CHidDevice dev;
        dev.Select(c.selection);
        EXPECT_EQ(dev.OpenDevice(0x0E8F, 0x310D, c.instance), c.held != nullptr ? 1 : 0);
        if (c.held != nullptr) {
            EXPECT_STREQ(dev.DevicePath(), c.held);
        }
        dev.Close();
        EXPECT_EQ(os.OpenHandles(), 0);
    }
}

}  // namespace
