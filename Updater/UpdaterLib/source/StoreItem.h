#pragma once
#include "AttributeFile.h"
#include "BirdFile.h"

#include <quillmark/vErr.h>

#include <cstddef>
#include <string>

// One entry of the store: a device directory (named by its 8-digit serial number) or anything
// inside one, with the attributes kept in its ".settings".
class StoreItem {
  public:
    StoreItem() = default;
    // Reads (creating where it can) parent / name / ".settings".
    StoreItem(std::string parent, std::string name, bool isDirectory);

    // Loads parent / name / fileName; throws std::runtime_error("Invalid bird " + path) when it
    // is no BIRD file, and what BirdFile throws when loading fails.
    BirdFile LoadBird(const std::string &fileName) const;
    // Stores the bytes as parent / name / fileName. An existing file is replaced only once the
    // new one is complete on the disk. vErrNotFound for null data or a file that cannot be made.
    vErr WriteFile(const std::string &fileName, const void *data, size_t length) const;

    // parent / name
    std::string path() const;
    const std::string &getParent() const { return parent; }
    const std::string &getName() const { return name; }
    bool isDirectory() const { return directory; }
    AttributeFile &attributes() { return attributeFile; }
    const AttributeFile &attributes() const { return attributeFile; }

  private:
    std::string parent;
    std::string name;
    bool directory = false;
    AttributeFile attributeFile;
};
