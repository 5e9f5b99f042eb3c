#pragma once
#include <cstdint>

// Reads the serial number a family device carries in its USB serial-number string: one to eight
// hexadecimal digits ("40F5849A"), or "RFICB" followed by decimal digits and ".A". False for any
// other text, so that a device with an unreadable serial string never matches by accident.
// Discovery and the USB stream both read serial numbers with it, so that every device listed can
// be opened by the number listed.
bool vUsbSerialNumber_Parse(const char *text, uint32_t *serialNumber);
