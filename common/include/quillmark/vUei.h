#pragma once
#include <quillmark/vExport.h>
#include <quillmark/vPacket.h>
#include <stdint.h>

// UEI (universal entity interface) payload: data[0] the command, data[1] the option byte,
// data[2] the index byte, then the value, big-endian.

// Option byte: low 6 bits the option code, and the request flags above them. A reply to a get
// carries the plain option code; a reply to a set carries both flags.
#define UEI_OPTION_MASK ((uint8_t)0x3F)
#define UEI_OPTION_GET ((uint8_t)0x40)
#define UEI_OPTION_SET ((uint8_t)0x80)
#define UEI_OPTION_SET_REPLY ((uint8_t)(UEI_OPTION_GET | UEI_OPTION_SET))

// Index byte: low 5 bits the entity index, then the flags. Every request the library sends
// carries UEI_INDEX_REQUEST; devices mark stream samples and error replies.
#define UEI_INDEX_MASK ((uint8_t)0x1F)
#define UEI_INDEX_REQUEST ((uint8_t)0x20)
#define UEI_INDEX_STREAM ((uint8_t)0x40)
#define UEI_INDEX_ERROR ((uint8_t)0x80)

// Bytes before the value: command, option and index.
#define UEI_HEADER_SIZE 3

typedef enum ueiType : int32_t {
    ueiTypeVoid = 0,
    ueiTypeByte = 1,
    ueiTypeShort = 2,
    ueiTypeInt = 4,
    ueiTypeBytes = 5,
} ueiType;

// A UEI request, or the reply matched against it.
typedef struct uei {
    uint8_t module;
    uint8_t command;
    uint8_t option;
    uint8_t index;
    union {
        uint8_t byteVal;
        uint16_t shortVal;
        uint32_t intVal;
        // A byte sequence: the caller's buffer, the receiver's progress through the run of
        // packets, and the length to send or the buffer's capacity.
        struct {
            uint8_t *bytesData;
            uint8_t bytesSequence;
            uint8_t bytesContinue;
            uint32_t bytesLength;
            uint32_t *bytesReceived;
        };
    } value;
    ueiType type;
} uei;

// The big-endian 16-bit and 32-bit numbers at `bytes`; 0 for a null pointer.
V_API uint16_t vUEI_RetrieveShort(const uint8_t *bytes);
V_API uint32_t vUEI_RetrieveInt(const uint8_t *bytes);
// Turns `count` big-endian 32-bit words into host order, in place.
V_API void vUEI_ModifyIntBuffer(uint32_t *buffer, uint32_t count);

// True when data[0] is a command that never starts a UEI payload (false for null);
// vUEI_isUEIPayload is its negation (true for null).
V_API bool vUEI_isNotUEIPayload(const vPacket *packet);
V_API bool vUEI_isUEIPayload(const vPacket *packet);

// The one packet that carries a void, byte, short or int request to request->module; null for
// any other value type, a null request, or when memory is short.
V_API vPacket *vUEI_CreatePacket(const uei *request);
// The same addressed to an entity's subindex, which goes before the value.
V_API vPacket *vUEI_CreateSubindexPacket(const uei *request, uint8_t subindex);

// Matches a reply against the module, command, option byte and plain index in `match`: false
// when it does not match. A matching error reply stores its index byte (error flag set) in
// match->index and its error code in match->value.byteVal; any other matching reply stores the
// value and type its data size tells (3 void, 4 byte, 5 short, 7 int; other sizes are matched
// without decoding).
V_API bool vUEI_DecodeReply(const vPacket *reply, uei *match);
