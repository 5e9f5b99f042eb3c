// Commands this build does not carry yet. Each says so on the error channel and fails; each is
// replaced by its real implementation in its own file.
#include "Messages.h"
#include "UpdaterApp.h"

namespace {

void reportUnavailable(UpdaterDisplayInterface *display, const char *command) {
    displayMessage(display, 1, "%s is not available in this build of Updater", command);
}

} // namespace

bool UpdaterApp::discover(uint32_t, int32_t) {
    reportUnavailable(display_, "Discovering devices (-D)");
    return false;
}

bool UpdaterApp::Update_Firmware(uint32_t, uint32_t, const std::string &, uint32_t, bool) {
    reportUnavailable(display_, "Updating a device (-U)");
    return false;
}

bool UpdaterApp::getDeviceIdentifier(ChipFingerprint &, const std::string &, uint32_t,
                                     const std::string &, uint32_t, bool) {
    reportUnavailable(display_, "Reading a chip fingerprint (-N)");
    return false;
}

bool UpdaterApp::recoverDevice(const std::string &, uint32_t, uint32_t, uint32_t,
                               const std::string &, bool) {
    reportUnavailable(display_, "Recovering a device (-U -t RECOVER)");
    return false;
}
