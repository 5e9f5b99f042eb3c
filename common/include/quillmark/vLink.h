#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <quillmark/vLinkSpec.h>
#include <quillmark/vPacket.h>
#include <quillmark/vPacketFifo.h>
#include <quillmark/vStream.h>
#include <stdint.h>

// Links: one live connection to one device stack, named by a positive id that is never issued
// twice. Each link owns a stream, an outgoing and an incoming packet queue, a receive thread that
// turns the stream's bytes into packets (answering heartbeats and keeping the byte stream
// aligned) and a send thread that writes every queued packet. A function given an id that names
// no link answers vErrParam, null, 0 or linkStatusInvalid.
//
// Opening the same device again (same serial number, or same IPv4 address) shares the open link
// and adds one use; each vLink_Destroy releases one use, and the last one tears the link down.

// Sees every complete packet the receive thread takes in, on that thread, before anything else
// does; true consumes the packet, which is then neither answered as a heartbeat nor queued.
typedef uint8_t (*vLinkUserFilter)(const vPacket *packet, void *ref);

// Creators answer the new or shared link's id, or 0 on failure.

// A USB link to the family device with this serial number, aligned with the device.
V_API int32_t vLink_CreateUSB(uint32_t serialNumber);
// A socket link; ipAddress is an IPv4 address in network byte order, port in host order.
V_API int32_t vLink_CreateTCPIP(uint32_t ipAddress, uint16_t port);
// A serial link on the port at the device path portName; baudRate is one of 2400, 4800, 9600,
// 19200, 38400, 57600, 115200 or 230400 (8 data bits, no parity, one stop bit).
V_API int32_t vLink_CreateSerial(uint32_t serialNumber, const char *portName, uint32_t baudRate);
// A link through a sharing broker's port, or one more use of existingId when it is nonzero.
V_API int32_t vLink_CreateClient(uint32_t ipAddress, uint16_t port, int32_t existingId);
// A USB link shared through a broker; answers the id of this process's own client link.
V_API int32_t vLink_CreateServer(uint32_t serialNumber, uint16_t *port, uint32_t *networkInterface,
                                 uint8_t localOnly);
// A started link on a stream the caller made, without alignment. The link owns the stream from
// this call on, also when the call fails.
V_API int32_t vLink_Create(vStream *stream);

// Releases one use of the link; the caller's id is set to 0 in every case.
V_API vErr vLink_Destroy(int32_t *id);
// Stops the link, makes its stream and queues anew and starts it again. Packets still queued are
// lost. vErrParam for a link whose stream cannot be made again (serial links, caller streams):
// such a link is left as it was.
V_API vErr vLink_Reset(int32_t id);

V_API linkStatus vLink_GetStatus(int32_t id);

// Queues a copy of the packet for sending; the caller keeps its packet.
V_API vErr vLink_PutPacket(int32_t id, const vPacket *packet);
// The incoming queue's operations; see vPacketFifo.h. Returned packets belong to the caller.
V_API vPacket *vLink_GetPacket(int32_t id);
V_API vPacket *vLink_AwaitPacket(int32_t id, uint32_t timeoutMs);
V_API vPacket *vLink_GetFirst(int32_t id, vPacketFilter filter, const void *ref);
V_API uint32_t vLink_DrainPackets(int32_t id, vPacketFilter filter, const void *ref);
// The first incoming packet that the filter accepts, waiting up to timeoutMs, but only while the
// link runs aligned: null at once, even with a matching packet queued, when it does not, and
// soon after it stops doing so.
V_API vPacket *vLink_AwaitFirst(int32_t id, vPacketFilter filter, const void *ref,
                                uint32_t timeoutMs);
// Replaces the user filter and its ref; a null filter removes it.
V_API vErr vLink_InstallUserPacketFilter(int32_t id, vLinkUserFilter filter, void *ref);
