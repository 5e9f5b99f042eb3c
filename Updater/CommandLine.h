#pragma once
#include "UpdaterDisplayInterface.h"
#include "UpdaterOptions.h"

// Fills options from argv[1..argc-1]. Returns 1 when any word was rejected with a message, else
// 0. Parsing goes on to the last word after a rejection; only a help option ends it early.
int parseCommandLine(UpdaterDisplayInterface *display, int argc, const char *const *argv,
                     UpdaterOptions &options);
