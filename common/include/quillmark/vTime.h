#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdint.h>

// Milliseconds of a monotonic clock, wrapping at 2^32: compare ticks by unsigned difference.
V_API uint32_t vTime_GetMSTicks(void);
// Sleeps that long; 0 returns at once. Always vErrNone.
V_API vErr vTime_MSSleep(uint32_t milliseconds);
