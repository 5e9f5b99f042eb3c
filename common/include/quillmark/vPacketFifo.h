#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <quillmark/vPacket.h>
#include <stdint.h>

// Thread-safe queues of packet copies, named by 64-bit handles (0 is never issued). A handle
// that names no queue, or one destroyed meanwhile, makes every operation do nothing.

// The most packets one queue holds; a put beyond it drops the oldest packet.
#define V_PACKET_FIFO_CAPACITY 1000

// Decides whether a queued packet is the one looked for. It runs with the queue locked, once per
// packet examined, so it must not call the queue functions on the same queue; it may write into
// whatever `ref` points to.
typedef uint8_t (*vPacketFilter)(const vPacket *packet, const void *ref);

// A new queue's handle, or 0 when it could not be made.
V_API uint64_t vPacketFifo_Create(void);
// Removes the queue, frees its packets, wakes every waiter and zeroes the caller's handle.
// vErrParam for a null pointer, vErrNotFound when the handle names no queue.
V_API vErr vPacketFifo_Destroy(uint64_t *handle);
// Number of queued packets.
V_API uint32_t vPacketFifo_GetLength(uint64_t handle);
// Queues a copy of the packet; the caller keeps its own. vErrParam for an unknown handle or an
// invalid packet, vErrMemory when the copy cannot be made.
V_API vErr vPacketFifo_Put(uint64_t handle, const vPacket *packet);

// The returned packets below are removed from the queue and belong to the caller, who frees
// them with vPacket_Destroy; null when there is none.

// The oldest packet.
V_API vPacket *vPacketFifo_Get(uint64_t handle);
// The oldest packet, waiting up to timeoutMs milliseconds for one to arrive; null at once when
// the queue is destroyed meanwhile.
V_API vPacket *vPacketFifo_Await(uint64_t handle, uint32_t timeoutMs);
// The oldest packet that the filter accepts.
V_API vPacket *vPacketFifo_GetFirst(uint64_t handle, vPacketFilter filter, const void *ref);
// The oldest packet that the filter accepts, waiting up to timeoutMs milliseconds. Every packet
// is offered to the filter once, however often the wait is woken.
V_API vPacket *vPacketFifo_AwaitFirst(uint64_t handle, vPacketFilter filter, const void *ref,
                                      uint32_t timeoutMs);
// Frees every packet that the filter accepts, keeping the others in order; the number freed.
V_API uint32_t vPacketFifo_DrainPackets(uint64_t handle, vPacketFilter filter, const void *ref);
