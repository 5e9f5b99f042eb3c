#include "platform/platform.h"

namespace platform {

const char *const kPathSeparator = "/";

} // namespace platform
