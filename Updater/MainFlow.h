#pragma once
#include "UpdaterDisplayInterface.h"

// The whole run after the display exists: parse, banner, usage or store root, then the
// commands in their fixed order. Returns the exit code, 0 or 1.
int runUpdater(UpdaterDisplayInterface *display, int argc, const char *const *argv);
