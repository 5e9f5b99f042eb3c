#include "platform/platform.h"

#include <quillmark/vTime.h>

uint32_t vTime_GetMSTicks(void) {
    return static_cast<uint32_t>(platform::monotonicMilliseconds());
}

vErr vTime_MSSleep(uint32_t milliseconds) {
    if (milliseconds != 0) {
        platform::sleepMilliseconds(milliseconds);
    }
    return vErrNone;
}
