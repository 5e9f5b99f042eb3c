#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdint.h>

// A byte ring recording whole frames as records [kind, length, length bytes]. When a record does
// not fit, the oldest records make room for it.
typedef struct vPacketLog vPacketLog;

// Record kinds.
enum : uint8_t {
    kPacketLogSent = 1,
    kPacketLogReceived = 2,
    // A text a caller writes to mark a point in the log.
    kPacketLogMarker = 3,
};

// The ring of a log that is enabled without a size set.
#define V_PACKET_LOG_DEFAULT_SIZE 65536
// The largest ring a link's log may be given.
#define V_PACKET_LOG_MAX_SIZE 0x4000000

// A new empty, disabled ring of `size` bytes; null for size 0 or when memory is short.
V_API vPacketLog *vPacketLog_Create(uint32_t size);
// Adds a record, dropping the oldest ones when needed; vErrOverrun when it cannot fit even in an
// empty ring, vErrParam for a length above 255.
V_API vErr vPacketLog_Put(vPacketLog *log, uint8_t kind, uint32_t length, const uint8_t *bytes);
// Takes the oldest record: *length holds the buffer's capacity on entry and the record's length
// on return. vErrNotFound when the ring is empty; vErrOverrun, keeping the record, when it is
// longer than the capacity.
V_API vErr vPacketLog_Get(vPacketLog *log, uint8_t *kind, uint32_t *length, uint8_t *buffer);
V_API vErr vPacketLog_Destroy(vPacketLog **log);

// A link's packet log. Its threads record every frame sent and received while it is enabled.

// vErrParam above V_PACKET_LOG_MAX_SIZE, vErrBusy once the log exists; a negative size counts
// as 0, which means the default size.
V_API vErr vLink_PacketDebug_SetLogSize(int32_t id, int32_t bytes);
// Makes the log on first use and enables it; vErrResource when it cannot be made.
V_API vErr vLink_PacketDebug_Enable(int32_t id);
// vErrNotReady when there is no log.
V_API vErr vLink_PacketDebug_Disable(int32_t id);
// vPacketLog_Get on the link's log; vErrNotReady when there is no log.
V_API vErr vLink_PacketDebug_Read(int32_t id, uint8_t *kind, uint32_t *length, uint8_t *buffer);
// vPacketLog_Put on the link's log; vErrNotReady when there is no log.
V_API vErr vLink_PacketDebug_Write(int32_t id, uint8_t kind, uint32_t length, const uint8_t *bytes);
