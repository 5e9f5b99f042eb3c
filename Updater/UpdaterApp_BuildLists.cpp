#include "BirdFile.h"
#include "Messages.h"
#include "PathJoin.h"
#include "PrintBuildList.h"
#include "UpdaterApp.h"
#include "UpdaterStore.h"

#include <stdexcept>
#include <vector>

namespace {

constexpr const char *kBirdSuffix = ".bird";

std::string listingKey(const std::string &name) {
    return name.substr(0, name.find(kBirdSuffix));
}

// The version a stored entry announces; empty for anything that is no readable BIRD file.
std::string storedVersion(const StoreItem &item) {
    if (item.getParent().empty() || item.getName().empty()) {
        return {};
    }
    std::string path = joinPath(item.getParent(), {item.getName()});
    if (!BirdFile::isBirdFile(path)) {
        debugPrint(DEBUG_Updater, "Could NOT file VERSION in birdfile: %s\n", path.c_str());
        return {};
    }
    try {
        std::string version = BirdFile(path).getVersion();
        if (!version.empty()) {
            debugPrint(DEBUG_Updater, "Found VERSION in birdfile: %s - Version: %s\n", path.c_str(),
                       version.c_str());
        }
        return version;
    } catch (const std::runtime_error &error) {
        // A damaged file still belongs in the listing; only its version is unknown.
        debugPrint(DEBUG_Updater, "Could NOT load birdfile: %s - %s\n", path.c_str(), error.what());
        return {};
    }
}

} // namespace

BuildList UpdaterApp::Get_BuildList(uint32_t serial) {
    ServerCommClass server = serverClient();
    BuildList builds;
    if (!server.ping(serverUrl_.c_str())) {
        displayMessage(display_, 1, "Server request failed for %s", serverUrl_.c_str());
        return builds;
    }
    if (!server.GetBuildList(serial, builds, serverUrl_.c_str())) {
        displayMessage(display_, 1, "Failed to retrieve builds for %08X", serial);
        builds.clear();
    }
    return builds;
}

BuildList UpdaterApp::Get_BuildListLocal(uint32_t serial) {
    BuildList builds;
    std::optional<UpdaterStore> store = OpenStore(display_, storeRoot_, "Get_BuildListLocal");
    if (!store) {
        return builds;
    }
    std::vector<StoreItem> items;
    store->FindItems(serial, items);
    for (const StoreItem &item : items) {
        builds.emplace(listingKey(item.getName()), storedVersion(item));
    }
    return builds;
}

bool UpdaterApp::listServerBuilds(uint32_t serial) {
    printBuildList(display_, Get_BuildList(serial), serial);
    return true;
}

bool UpdaterApp::listLocalBuilds(uint32_t serial) {
    printBuildList(display_, Get_BuildListLocal(serial), serial);
    return true;
}
