#include <quillmark/vUsbIdentity.h>

#include "platform/platform.h"
#include "support/UsbBusSimulator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool collect(const platform::UsbDeviceInfo &device, void *reference) {
    static_cast<std::vector<platform::UsbDeviceInfo> *>(reference)->push_back(device);
    return true;
}

// The real bus: this machine has no family device (in a container it may have no USB at all).
TEST(UsbBus, LibusbFindsNoFamilyDeviceHere) {
    unsetenv("QM_USB_SIM");
    std::vector<platform::UsbDeviceInfo> found;
    EXPECT_EQ(platform::usbEnumerate(V_FAMILY_VENDOR_ID, collect, &found), vErrNone);
    EXPECT_TRUE(found.empty());
    platform::UsbHandle *handle = nullptr;
    EXPECT_NE(platform::usbOpen(0xFFFF, 0, &handle), vErrNone);
    EXPECT_EQ(handle, nullptr);
}

TEST(UsbBus, TheSimulatedBusDescribesItsDevices) {
    UsbBusSimulator bus;
    ASSERT_TRUE(bus.running());
    ASSERT_TRUE(bus.command("add 0000BEEF pid=0x0117 packet=32 first=03:01:02"));
    ASSERT_TRUE(bus.command("add 00001234 vid=0x0424"));
    std::vector<platform::UsbDeviceInfo> found;
    ASSERT_EQ(platform::usbEnumerate(V_FAMILY_VENDOR_ID, collect, &found), vErrNone);
    ASSERT_EQ(found.size(), 1u);
    const platform::UsbDeviceInfo &device = found[0];
    EXPECT_EQ(device.vendorId, V_FAMILY_VENDOR_ID);
    EXPECT_EQ(device.productId, 0x0117);
    EXPECT_STREQ(device.serialNumber, "0000BEEF");
    ASSERT_EQ(device.interfaceCount, 2);
    EXPECT_EQ(device.interfaces[0].interfaceClass, 0x03);
    const platform::UsbInterfaceInfo &family = device.interfaces[1];
    EXPECT_EQ(family.number, 1);
    EXPECT_EQ(family.interfaceClass, V_FAMILY_INTERFACE_CLASS);
    EXPECT_EQ(family.interfaceSubclass, V_FAMILY_INTERFACE_SUBCLASS);
    EXPECT_EQ(family.interfaceProtocol, V_FAMILY_INTERFACE_PROTOCOL);
    ASSERT_GE(family.endpointCount, 2);
    EXPECT_EQ(family.endpoints[0].type, platform::UsbEndpointType::bulk);
    EXPECT_EQ(family.endpoints[0].maxPacketSize, 32);
    found.clear();
    ASSERT_EQ(platform::usbEnumerate(0, collect, &found), vErrNone);
    EXPECT_EQ(found.size(), 2u);
}

} // namespace
