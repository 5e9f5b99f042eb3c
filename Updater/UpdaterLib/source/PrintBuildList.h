#pragma once
#include "ServerCommClass.h"
#include "UpdaterDisplayInterface.h"

#include <cstdint>

// Prints a build list newest version first, in two columns cut and padded to 15 characters,
// or a line saying the device has none.
void printBuildList(UpdaterDisplayInterface *display, const BuildList &builds, uint32_t serial);
