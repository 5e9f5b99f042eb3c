#include <quillmark/vConsole.h>

#include "platform/platform.h"

int vConsole_IsTerminal(FILE *stream) {
    return platform::isTerminal(stream) ? 1 : 0;
}
