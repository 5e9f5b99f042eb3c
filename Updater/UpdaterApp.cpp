#include "UpdaterApp.h"

#include <cstdlib>
#include <utility>

namespace {

// UPDATER_STALL_SECONDS replaces how long a request may go on without receiving anything (the
// default is ServerLimits' own). It exists so that tests of a stalled server finish quickly;
// it is no user option and is read nowhere else.
ServerLimits limitsFromEnvironment() {
    ServerLimits limits;
    if (const char *text = std::getenv("UPDATER_STALL_SECONDS")) {
        char *end = nullptr;
        long seconds = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && seconds > 0) {
            limits.lowSpeedSeconds = seconds;
        }
    }
    return limits;
}

} // namespace

UpdaterApp::UpdaterApp(std::string serverUrl, std::string storeRoot,
                       UpdaterDisplayInterface *display)
    : serverUrl_(std::move(serverUrl)), storeRoot_(std::move(storeRoot)), display_(display) {}

ServerCommClass UpdaterApp::serverClient() const {
    return ServerCommClass(limitsFromEnvironment());
}
