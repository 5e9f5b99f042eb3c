#pragma once
// What the link engine needs from the link-sharing broker. The broker is not part of the library
// yet: until it is, these are the one place that answers for it.

#include <quillmark/vStream.h>

#include <cstdint>

// The stream of a client link to a broker's port.
vErr vLinkBroker_CreateClientStream(uint32_t ipAddress, uint16_t port, vStream **stream);
// Opens the USB device, shares it through a new broker and connects this process to it as a
// client; *clientId receives the client link's id.
vErr vLinkBroker_ShareUSBDevice(uint32_t serialNumber, uint16_t *port, uint32_t *networkInterface,
                                uint8_t localOnly, int32_t *clientId);
