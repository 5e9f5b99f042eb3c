#pragma once
#include "StoreItem.h"
#include "UpdaterDisplayInterface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The per-user store: one directory per device under the root, named by the device's serial
// number as 8 upper-case hexadecimal digits.
class UpdaterStore {
  public:
    // Makes the root when missing; throws std::runtime_error as EnsureDirectory does.
    explicit UpdaterStore(std::string root);

    // Makes path when missing; throws std::runtime_error when it is a file or cannot be made.
    static void EnsureDirectory(const std::string &path);
    // Finds the first root entry whose path contains the serial's 8-digit name, and fills item
    // (when given) with it and its attributes.
    bool FindDevice(uint32_t serial, StoreItem *item) const;
    // Makes the device's directory when missing; throws like EnsureDirectory.
    StoreItem AddDevice(uint32_t serial) const;
    // Appends every entry of the device's directory whose name does not begin with "."; always
    // true.
    bool FindItems(uint32_t serial, std::vector<StoreItem> &items) const;

    const std::string &getRoot() const { return root; }

  private:
    std::string root;
};

// Builds the store for the named operation; when that fails, reports it on the display and
// gives none.
std::optional<UpdaterStore> OpenStore(UpdaterDisplayInterface *display, const std::string &root,
                                      const char *operation);
