#pragma once
// Marks a function of the flat interface: exported from the shared library under its plain,
// unmangled name.
#ifdef __cplusplus
#define V_API extern "C" __attribute__((visibility("default")))
#else
#define V_API __attribute__((visibility("default")))
#endif
