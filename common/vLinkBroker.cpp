#include "vLinkBroker.h"

vErr vLinkBroker_CreateClientStream(uint32_t, uint16_t, vStream **stream) {
    *stream = nullptr;
    return vErrUnimplemented;
}

vErr vLinkBroker_ShareUSBDevice(uint32_t, uint16_t *, uint32_t *, uint8_t, int32_t *clientId) {
    *clientId = 0;
    return vErrUnimplemented;
}
