#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdint.h>

// The transport of a link.
typedef enum linkType : int32_t {
    linkTypeInvalid = 0,
    linkTypeUSB = 1,
    linkTypeTCPIP = 2,
    linkTypeSerial = 3,
    // A client of a link-sharing broker; messages call this transport "vEther".
    linkTypeVEther = 4,
} linkType;

// The state of a link.
typedef enum linkStatus : int32_t {
    linkStatusStopped = 0,
    linkStatusInitializing = 1,
    // The only state in which requests are sent.
    linkStatusRunning = 2,
    linkStatusStopping = 3,
    // The receiver is regaining alignment with the byte stream.
    linkStatusSyncing = 4,
    // The link has no stream, or the id names no link.
    linkStatusInvalid = 5,
    // The last read from the stream failed.
    linkStatusIOError = 6,
    linkStatusDuplicate = 7,
    // The incoming queue refused a packet, or a link object has no link.
    linkStatusError = 8,
} linkStatus;

#define LINK_SPEC_SERIAL_PORT_LENGTH 100

// How to reach one device. Passed and copied by value; its size is part of the interface.
typedef struct linkSpec {
    linkType type;
    uint32_t serial_num;
    // 0 when discovery did not report it.
    uint32_t module;
    uint32_t router;
    uint32_t router_serial;
    uint32_t model;
    union {
        // linkTypeTCPIP and linkTypeVEther: IPv4 address in network byte order, port in host
        // order.
        struct {
            uint32_t ip_address;
            uint16_t port;
        };
        // linkTypeSerial: the line rate and the zero-terminated port name.
        struct {
            uint32_t baud_rate;
            char serial_port[LINK_SPEC_SERIAL_PORT_LENGTH];
        };
    };
} linkSpec;

#ifdef __cplusplus
static_assert(sizeof(linkSpec) == 128, "linkSpec is a fixed 128-byte record");
#endif

// A new zeroed record of the given transport; null when memory is short.
V_API linkSpec *vLinkSpec_Create(linkType type);
// A new record holding a copy of `spec`; null when memory is short.
V_API linkSpec *vLinkSpec_Copy(linkSpec spec);
// Frees the record and nulls the caller's pointer; vErrParam for a null pointer.
V_API vErr vLinkSpec_Destroy(linkSpec **spec);
