#include "StoreItem.h"

#include "PathJoin.h"

#include <quillmark/vFile.h>

#include <stdexcept>
#include <utility>

namespace {
constexpr const char *kAttributeFileName = ".settings";
}

StoreItem::StoreItem(std::string parentDirectory, std::string entryName, bool isDirectory)
    : parent(std::move(parentDirectory)), name(std::move(entryName)), directory(isDirectory) {
    attributeFile.Read(joinPath(path(), {kAttributeFileName}));
}

std::string StoreItem::path() const {
    return joinPath(parent, {name});
}

BirdFile StoreItem::LoadBird(const std::string &fileName) const {
    std::string file = joinPath(path(), {fileName});
    if (!BirdFile::isBirdFile(file)) {
        throw std::runtime_error("Invalid bird " + file);
    }
    return BirdFile(file);
}

vErr StoreItem::WriteFile(const std::string &fileName, const void *data, size_t length) const {
    if (data == nullptr) {
        return vErrNotFound;
    }
    vFileHandle file = vFile_OpenReplacement(joinPath(path(), {fileName}).c_str());
    if (file == nullptr) {
        return vErrNotFound;
    }
    if (vErr result = vFile_Write(file, data, length, nullptr); result != vErrNone) {
        vFile_Close(&file);
        return result;
    }
    return vFile_CommitReplacement(&file);
}
