#pragma once
#include <quillmark/vExport.h>
#include <stdint.h>

// The library-wide result code. Values are dense from 0 to 34 and also travel as one byte in
// device error replies, so they must never be renumbered.
typedef enum vErr : int32_t {
    vErrNone = 0,
    vErrMemory,
    vErrParam,
    vErrNotFound,
    vErrFileNameLength,
    vErrBusy,
    vErrIO,
    vErrMode,
    vErrWrite,
    vErrRead,
    vErrEOF,
    vErrNotReady,
    vErrPermission,
    vErrRange,
    vErrSize,
    vErrOverrun,
    vErrParse,
    vErrConfiguration,
    vErrTimeout,
    vErrInitialization,
    vErrVersion,
    vErrUnimplemented,
    vErrDuplicate,
    vErrCancel,
    vErrPacket,
    vErrConnection,
    vErrIndexRange,
    vErrShortCommand,
    vErrInvalidEntity,
    vErrInvalidOption,
    vErrResource,
    vErrMedia,
    vErrAsyncReturn,
    vErrStreamStale,
    vErrUnknown,
} vErr;

// The enumerator's name ("vErrTimeout"); codes outside 0..34 give "vErrUnknown".
V_API const char *vError_GetErrorText(int32_t code);
// The code's description ("Timeout occurred"); codes outside 0..34 give "Unknown error".
V_API const char *vError_GetErrorDescription(int32_t code);
