#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <quillmark/vFile.h>
#include <stdint.h>

// A log file with a worker thread that calls the callback again and again, with no pause of its
// own, while the logger is enabled. The callback paces the loop (typically by waiting for work
// with a timeout) and must not disable or destroy its own logger.
typedef struct vLoggerRecord *vLoggerHandle;
typedef void (*vLogger_Callback)(vFileHandle file, uint32_t user);

// The file is opened in vFileModeAppend; the logger starts disabled. Null when the file cannot
// be opened or memory is short.
V_API vLoggerHandle vLogger_Create(uint32_t user, vLogger_Callback callback, const char *path);
// vErrResource when the worker cannot be started; nothing to do when it runs already.
V_API vErr vLogger_Enable(vLoggerHandle logger);
// Waits for the worker to finish; vErrTimeout when waiting itself fails.
V_API vErr vLogger_Disable(vLoggerHandle logger);
// Stops, closes the file and, when stopping succeeded, frees the logger and nulls the handle.
// A null or foreign handle is left alone and answered with vErrNone.
V_API vErr vLogger_Destroy(vLoggerHandle *logger);
