#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>

// A named, re-entrant lock: the thread holding it may lock it again and unlocks it as often.
typedef struct vMutexRecord *vMutexHandle;

// Longest name, in characters.
#define V_MUTEX_NAME_MAX 255

// Null when the name is longer than V_MUTEX_NAME_MAX or memory is short; a null name is empty.
V_API vMutexHandle vMutex_Create(const char *name);
V_API const char *vMutex_Identifier(vMutexHandle mutex);
// vErrBusy, destroying nothing, while another thread holds the lock.
V_API vErr vMutex_Destroy(vMutexHandle *mutex);
V_API vErr vMutex_Lock(vMutexHandle mutex);
// vErrBusy when another thread holds the lock.
V_API vErr vMutex_TryLock(vMutexHandle mutex);
// vErrPermission when the calling thread does not hold the lock.
V_API vErr vMutex_Unlock(vMutexHandle mutex);
