#pragma once
#include <stdint.h>

// The USB vendor id every device of the family carries. Discovery and the USB stream both use
// this one constant; a device's product id carries its model number in its low byte.
#define V_FAMILY_VENDOR_ID ((uint16_t)0x2B87)

// The family's device interface: vendor-specific class, subclass and protocol.
#define V_FAMILY_INTERFACE_CLASS ((uint8_t)0xFF)
#define V_FAMILY_INTERFACE_SUBCLASS ((uint8_t)0x88)
#define V_FAMILY_INTERFACE_PROTOCOL ((uint8_t)0x10)
