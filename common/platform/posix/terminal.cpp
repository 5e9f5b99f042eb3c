#include "platform/platform.h"

#include <unistd.h>

namespace platform {

bool isTerminal(std::FILE *stream) {
    if (stream == nullptr) {
        return false;
    }
    int descriptor = fileno(stream);
    return descriptor >= 0 && isatty(descriptor) == 1;
}

} // namespace platform
