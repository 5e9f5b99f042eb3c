#pragma once
#include "UpdaterDisplayInterface.h"

#include <optional>
#include <string>

// Makes sure the store root exists: "<storage>/updater", where the storage directory defaults
// to "<home>/.veltrona". Reports a failure itself and then gives nothing.
std::optional<std::string> prepareStoreRoot(UpdaterDisplayInterface *display,
                                            const std::string &storageDirectory);
