#include "vUsbSerialNumber.h"

#include <gtest/gtest.h>

namespace {

TEST(UsbSerialNumber, ReadsHexadecimalAndTheDecimalFormAndRefusesTheRest) {
    struct Case {
        const char *text;
        bool valid;
        uint32_t serial;
    };
    const Case cases[] = {
        {"40F5849A", true, 0x40F5849A},
        {"40f5849a", true, 0x40F5849A},
        {"ABC", true, 0xABC},
        {"0", true, 0},
        {"FFFFFFFF", true, 0xFFFFFFFF},
        {"RFICB1234.A", true, 1234},
        {"RFICB4294967295.A", true, 0xFFFFFFFF},
        {"", false, 0},
        {"123456789", false, 0},
        {"40F5849G", false, 0},
        {"40F5 849", false, 0},
        {"RFICB.A", false, 0},
        {"RFICB12x.A", false, 0},
        {"RFICB4294967296.A", false, 0},
        {"RFICB12.B", false, 0},
    };
    for (const Case &c : cases) {
        uint32_t serial = 0xDEADDEAD;
        EXPECT_EQ(vUsbSerialNumber_Parse(c.text, &serial), c.valid) << '"' << c.text << '"';
        if (c.valid) {
            EXPECT_EQ(serial, c.serial) << c.text;
        }
    }
    uint32_t serial = 0;
    EXPECT_FALSE(vUsbSerialNumber_Parse(nullptr, &serial));
    EXPECT_FALSE(vUsbSerialNumber_Parse("12", nullptr));
}

} // namespace
