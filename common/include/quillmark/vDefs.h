#pragma once
#include <quillmark/vExport.h>
#include <stdint.h>

// The static name of a device model number ("Alder" for 4 ... "Poplar" for 26), "Unknown" for
// every number the library does not know.
V_API const char *vDefs_GetModelName(uint32_t model);
