#include "PrintBuildList.h"

#include "Messages.h"

namespace {

constexpr const char *kRowFormat = "%-15.15s\t%-15.15s";

} // namespace

void printBuildList(UpdaterDisplayInterface *display, const BuildList &builds, uint32_t serial) {
    if (builds.empty()) {
        displayMessage(display, 0, "No builds found for device [%08X]", serial);
        return;
    }
    displayMessage(display, 0, "Build List for device [%08X]:\n", serial);
    displayMessage(display, 0, kRowFormat, "Build", "Version");
    for (const BuildListEntry &entry : ServerCommClass::sortBuildList(builds)) {
        displayMessage(display, 0, kRowFormat, entry.build.c_str(), entry.version.c_str());
    }
}
