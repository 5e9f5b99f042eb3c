#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdint.h>

// A stream: the library's byte pipe to one device. A record of transport procedures plus a
// push-back ring that lets readers hand bytes back. Every read is non-blocking or time-limited
// and answers vErrNotReady when no byte is there now.
typedef struct vStream vStream;

// Fetches one byte: vErrNotReady when none is there now, vErrEOF at the end of input.
typedef vErr (*vStream_GetProc)(uint8_t *byte, void *ref);
// Sends one byte.
typedef vErr (*vStream_PutProc)(const uint8_t *byte, void *ref);
// Sends a buffer.
typedef vErr (*vStream_WriteProc)(const uint8_t *buffer, uint32_t length, void *ref);
// Releases the transport's state.
typedef vErr (*vStream_DestroyProc)(void *ref);
// Waits at most timeoutMs for the transport to have a byte (or an end or error that the next
// get reports at once): vErrNone when it has, vErrTimeout when the time ran out.
typedef vErr (*vStream_WaitProc)(uint32_t timeoutMs, void *ref);

// A new stream holding the procedures (any may be null) and the transport's state; null when
// memory is short.
V_API vStream *vStream_Create(vStream_GetProc get, vStream_PutProc put, vStream_WriteProc write,
                              vStream_DestroyProc destroy, void *ref);
// Installs the procedure vStream_WaitReadable uses (null removes it).
V_API vErr vStream_SetWaitProc(vStream *stream, vStream_WaitProc wait);
V_API vErr vStream_Destroy(vStream **stream);

// Reads exactly count bytes. On vErrNotReady nothing is copied and every byte taken waits in the
// push-back ring for the next read; on vErrEOF the bytes taken so far are copied.
V_API vErr vStream_Read(vStream *stream, uint8_t *buffer, uint32_t count);
V_API vErr vStream_Write(vStream *stream, const uint8_t *buffer, uint32_t count);

// Waits at most timeoutMs until a read can make progress: vErrNone at once when pushed-back bytes
// wait, else what the transport's wait procedure says (vErrTimeout when nothing came). A stream
// without a wait procedure pauses for the whole time-out and answers vErrNone. vErrMode when the
// stream cannot be read.
V_API vErr vStream_WaitReadable(vStream *stream, uint32_t timeoutMs);

// Reads until the terminator, maxLength stored bytes or the end of input; stores the bytes
// without the terminator and their number in *length (length may be null).
V_API vErr vStream_ReadRecord(vStream *stream, uint8_t *buffer, uint32_t *length,
                              uint32_t maxLength, const uint8_t *terminator,
                              uint32_t terminatorLength);
V_API vErr vStream_WriteRecord(vStream *stream, const uint8_t *data, uint32_t count,
                               const uint8_t *terminator, uint32_t terminatorLength);
// Reads a zero-terminated text of at most capacity - 1 characters.
V_API vErr vStream_ReadCString(vStream *stream, char *buffer, uint32_t capacity);
V_API vErr vStream_WriteCString(vStream *stream, const char *text);
// Reads a record ended by terminatorText into a text; *length holds the buffer's capacity on
// entry and the number of bytes stored on return.
V_API vErr vStream_ReadCStringRecord(vStream *stream, char *buffer, uint32_t *length,
                                     const char *terminatorText);
// Writes the text, then terminatorText including its zero byte.
V_API vErr vStream_WriteCStringRecord(vStream *stream, const char *text,
                                      const char *terminatorText);
// Copies bytes from in to out until in reports the end of input (vErrNone) or another error.
V_API vErr vStream_Flush(vStream *in, vStream *out);

// The transports. Each sets *stream to the new stream on success and to null on failure.

// baudCode 0..7 selects 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400 bit/s. portName
// is the device path of the port, such as /dev/ttyUSB0.
V_API vErr vStream_CreateSerial(const char *portName, uint32_t baudCode, uint32_t parity,
                                uint32_t sevenBits, uint32_t twoStopBits, vStream **stream);
V_API vErr vStream_CreateFileInput(const char *path, vStream **stream);
V_API vErr vStream_CreateFileOutput(const char *path, vStream **stream);
// ipAddress is an IPv4 address in network byte order, port in host order.
V_API vErr vStream_CreateSocket(uint32_t ipAddress, uint16_t port, vStream **stream);
V_API vErr vStream_CreateUSB(uint32_t serialNumber, vStream **stream);
