#include "UpdaterStore.h"

#include "Messages.h"
#include "PathJoin.h"

#include <quillmark/vDirectory.h>
#include <quillmark/vFile.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

constexpr uint32_t kDirectoryMode = 0755;

std::string serialName(uint32_t serial) {
    char name[9];
    std::snprintf(name, sizeof name, "%08X", serial);
    return name;
}

// Splits a listed path at its last separator into (parent, name).
std::pair<std::string, std::string> splitListedPath(const char *path) {
    std::string full(path);
    size_t cut = full.rfind(vDirectory_Separator()[0]);
    if (cut == std::string::npos) {
        return {std::string(), full};
    }
    return {full.substr(0, cut), full.substr(cut + 1)};
}

bool isSelfOrParent(const std::string &name) {
    return name == "." || name == "..";
}

struct DeviceSearch {
    std::string name;
    bool found = false;
    std::string parent;
    std::string entryName;
    bool isDirectory = false;
};

bool findItem(const vDirectoryEntry *entry, void *reference) {
    auto *search = static_cast<DeviceSearch *>(reference);
    debugPrint(DEBUG_Updater, "%s([%s], %d, %d) searching for %s\n", "_find_item", entry->path,
               entry->isDirectory, entry->size, search->name.c_str());
    auto [parent, name] = splitListedPath(entry->path);
    if (isSelfOrParent(name) || std::strstr(entry->path, search->name.c_str()) == nullptr) {
        return true;
    }
    search->found = true;
    search->parent = parent;
    search->entryName = name;
    search->isDirectory = entry->isDirectory != 0;
    return false;
}

bool findItems(const vDirectoryEntry *entry, void *reference) {
    auto *items = static_cast<std::vector<StoreItem> *>(reference);
    debugPrint(DEBUG_Updater, "%s([%s], %d, %d)\n", "_find_items", entry->path, entry->isDirectory,
               entry->size);
    auto [parent, name] = splitListedPath(entry->path);
    if (!name.empty() && name[0] != '.') {
        items->emplace_back(parent, name, entry->isDirectory != 0);
    }
    return true;
}

} // namespace

UpdaterStore::UpdaterStore(std::string storeRoot) : root(std::move(storeRoot)) {
    EnsureDirectory(root);
}

void UpdaterStore::EnsureDirectory(const std::string &path) {
    if (vDirectory_Exists(path.c_str())) {
        debugPrint(DEBUG_Updater, "UpdaterStore: [%s] already exists.\n", path.c_str());
        return;
    }
    if (vFile_Exists(path.c_str())) {
        throw std::runtime_error("UpdaterStore: " + path + " exists and is a file");
    }
    vErr result = vDirectory_Ensure(path.c_str(), kDirectoryMode);
    if (result != vErrNone) {
        throw std::runtime_error("UpdaterStore: Could not create directory " + path + " error " +
                                 std::to_string(result));
    }
    debugPrint(DEBUG_Updater, "UpdaterStore: Created directory [%s].\n", path.c_str());
}

bool UpdaterStore::FindDevice(uint32_t serial, StoreItem *item) const {
    DeviceSearch search;
    search.name = serialName(serial);
    vDirectory_List(root.c_str(), findItem, &search);
    if (search.found && item != nullptr) {
        *item = StoreItem(search.parent, search.entryName, search.isDirectory);
    }
    debugPrint(DEBUG_Updater, "UpdaterStore: FindDevice %s %s.\n",
               search.found ? "Found" : "Not Found", search.name.c_str());
    return search.found;
}

StoreItem UpdaterStore::AddDevice(uint32_t serial) const {
    std::string name = serialName(serial);
    EnsureDirectory(joinPath(root, {name}));
    return StoreItem(root, name, true);
}

bool UpdaterStore::FindItems(uint32_t serial, std::vector<StoreItem> &items) const {
    StoreItem device;
    if (FindDevice(serial, &device)) {
        vDirectory_List(device.path().c_str(), findItems, &items);
    }
    return true;
}

std::optional<UpdaterStore> OpenStore(UpdaterDisplayInterface *display, const std::string &root,
                                      const char *operation) {
    try {
        return UpdaterStore(root);
    } catch (const std::runtime_error &error) {
        displayMessage(display, 1, "Failed to Create UpdaterStore in: %s - Exception: %s",
                       operation, error.what());
        return std::nullopt;
    }
}
