#include "StoreRoot.h"

#include "Messages.h"

#include <quillmark/vDirectory.h>

namespace {

constexpr size_t kPathCapacity = 2048;
constexpr uint32_t kStoreDirectoryMode = 0755;

std::optional<std::string> defaultStorageDirectory() {
    char home[kPathCapacity];
    vErr result = vDirectory_GetHomeDirectory(home, sizeof home);
    if (result != vErrNone) {
        debugPrint(DEBUG_APP, "Updater: FailedvDirectory_GetHomeDirectory()==> %d\n", result);
        return std::nullopt;
    }
    char storage[kPathCapacity];
    if (vDirectory_JoinPath(storage, sizeof storage, home, ".veltrona") != vErrNone) {
        debugPrint(DEBUG_APP, "Updater: home directory too long: %s\n", home);
        return std::nullopt;
    }
    return std::string(storage);
}

} // namespace

std::optional<std::string> prepareStoreRoot(UpdaterDisplayInterface *display,
                                            const std::string &storageDirectory) {
    std::optional<std::string> storage =
        storageDirectory.empty() ? defaultStorageDirectory() : storageDirectory;
    if (!storage) {
        return std::nullopt;
    }
    char root[kPathCapacity];
    if (vDirectory_JoinPath(root, sizeof root, storage->c_str(), "updater") != vErrNone) {
        displayMessage(display, 1, "Could not find updater directory at %s/updater",
                       storage->c_str());
        return std::nullopt;
    }
    if (vDirectory_Ensure(root, kStoreDirectoryMode) != vErrNone) {
        displayMessage(display, 1, "Could not find updater directory at %s", root);
        return std::nullopt;
    }
    return std::string(root);
}
