#include <quillmark/vDirectory.h>

#include "platform/platform.h"

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxPathComponents = 10;
// The working directory stands in for "." and "./" when testing for a directory.
constexpr size_t kWorkingDirectoryCapacity = 1024;
// Room for one listed entry's path: the platform's own path limit.
constexpr size_t kListedPathCapacity = 4096;

char separatorCharacter() {
    return platform::kPathSeparator[0];
}

bool endsWithSeparator(const char *text) {
    size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == separatorCharacter();
}

// True when text starts anywhere inside the size bytes of buffer.
bool pointsInto(const char *text, const char *buffer, size_t size) {
    return text >= buffer && text < buffer + size;
}

bool isWorkingDirectoryAlias(const char *path) {
    return std::strcmp(path, ".") == 0 ||
           (path[0] == '.' && path[1] == separatorCharacter() && path[2] == '\0');
}

vErr appendComponent(char *buffer, size_t size, const char *component) {
    size_t length = std::strlen(buffer);
    bool roomForMoreThanOne = size - 1 - length > 1;
    if (length > 0 && roomForMoreThanOne && !endsWithSeparator(buffer) &&
        component[0] != separatorCharacter()) {
        buffer[length++] = separatorCharacter();
        buffer[length] = '\0';
    }
    size_t componentLength = std::strlen(component);
    if (length + componentLength >= size - 1) {
        return vErrOverrun;
    }
    std::memcpy(buffer + length, component, componentLength + 1);
    return vErrNone;
}

vErr buildPathFromList(char *buffer, size_t size, const char *first, va_list components) {
    if (buffer == nullptr || size == 0) {
        return vErrParam;
    }
    buffer[0] = '\0';
    if (first == nullptr || pointsInto(first, buffer, size)) {
        return vErrParam;
    }
    const char *further[kMaxPathComponents - 1];
    int furtherCount = 0;
    while (const char *component = va_arg(components, const char *)) {
        if (furtherCount + 1 >= kMaxPathComponents || pointsInto(component, buffer, size)) {
            return vErrParam;
        }
        further[furtherCount++] = component;
    }
    size_t firstLength = std::strlen(first);
    if (firstLength >= size - 1) {
        return vErrOverrun;
    }
    std::memcpy(buffer, first, firstLength + 1);
    for (int index = 0; index < furtherCount; ++index) {
        vErr result = appendComponent(buffer, size, further[index]);
        if (result != vErrNone) {
            return result;
        }
    }
    return vErrNone;
}

// Something else standing at the path, such as a file, is a failure too.
bool createMissingDirectory(const std::string &path, uint32_t mode) {
    switch (platform::createDirectory(path.c_str(), mode)) {
    case platform::DirectoryCreation::created:
        return true;
    case platform::DirectoryCreation::existedAlready:
        return platform::isDirectory(path.c_str());
    case platform::DirectoryCreation::failed:
        break;
    }
    return false;
}

// The index just past the separator that ends the deepest existing ancestor, or 0 when no
// ancestor exists.
size_t creationStart(const std::string &path) {
    size_t cut = path.size();
    while (cut > 0) {
        cut = path.rfind(separatorCharacter(), cut - 1);
        if (cut == std::string::npos) {
            break;
        }
        if (cut > 0 && vDirectory_Exists(path.substr(0, cut).c_str())) {
            return cut + 1;
        }
    }
    return 0;
}

struct ListingContext {
    const char *directory;
    vDirectory_ListCallback callback;
    void *reference;
    vErr result;
};

bool visitListedItem(const platform::DirectoryItem &item, void *reference) {
    auto *context = static_cast<ListingContext *>(reference);
    char path[kListedPathCapacity];
    if (vDirectory_BuildPath(path, sizeof path, context->directory, item.name, nullptr) !=
        vErrNone) {
        context->result = vErrFileNameLength;
        return false;
    }
    vDirectoryEntry entry{path, static_cast<uint32_t>(item.size), item.isDirectory ? 1u : 0u};
    return context->callback(&entry, context->reference);
}

bool isSelfOrParent(const char *path) {
    const char *name = std::strrchr(path, separatorCharacter());
    name = name ? name + 1 : path;
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Carries the first file failure out of the listing callback.
bool deleteTreeEntry(const vDirectoryEntry *entry, void *reference) {
    auto *fileFailure = static_cast<vErr *>(reference);
    if (isSelfOrParent(entry->path)) {
        return true;
    }
    if (entry->isDirectory) {
        // A subtree that cannot be emptied shows up when this directory's own removal fails.
        vDirectory_DeleteTree(entry->path);
        return true;
    }
    *fileFailure = platform::removeFileEntry(entry->path);
    return *fileFailure == vErrNone;
}

} // namespace

bool vDirectory_Exists(const char *path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    if (isWorkingDirectoryAlias(path)) {
        char workingDirectory[kWorkingDirectoryCapacity];
        return vDirectory_CWD(workingDirectory, sizeof workingDirectory) == vErrNone &&
               platform::isDirectory(workingDirectory);
    }
    if (endsWithSeparator(path)) {
        return false;
    }
    return platform::isDirectory(path);
}

vErr vDirectory_Ensure(const char *path, uint32_t mode) {
    if (path == nullptr || path[0] == '\0') {
        return vErrParam;
    }
    if (vDirectory_Exists(path)) {
        return vErrNone;
    }
    std::string copy(path);
    vErr result = vErrNone;
    for (size_t cut = copy.find(separatorCharacter(), creationStart(copy));
         cut != std::string::npos; cut = copy.find(separatorCharacter(), cut + 1)) {
        std::string prefix = copy.substr(0, cut);
        if (prefix.empty() || endsWithSeparator(prefix.c_str()) ||
            vDirectory_Exists(prefix.c_str())) {
            continue;
        }
        if (!createMissingDirectory(prefix, mode)) {
            result = vErrPermission;
            break;
        }
    }
    if (!vDirectory_Exists(path) && !createMissingDirectory(copy, mode)) {
        return vErrPermission;
    }
    return result;
}

vErr vDirectory_List(const char *directory, vDirectory_ListCallback callback, void *reference) {
    if (directory == nullptr || callback == nullptr) {
        return vErrParam;
    }
    ListingContext context{directory, callback, reference, vErrNone};
    if (!platform::listDirectory(directory, visitListedItem, &context)) {
        return vErrParam;
    }
    return context.result;
}

vErr vDirectory_Delete(const char *path) {
    if (path == nullptr) {
        return vErrParam;
    }
    return platform::removeDirectory(path) ? vErrNone : vErrUnknown;
}

vErr vDirectory_DeleteTree(const char *path) {
    if (path == nullptr) {
        return vErrParam;
    }
    vErr fileFailure = vErrNone;
    vErr listing = vDirectory_List(path, deleteTreeEntry, &fileFailure);
    if (listing == vErrParam) {
        return vErrParam;
    }
    bool removed = platform::removeDirectory(path);
    if (fileFailure != vErrNone) {
        return fileFailure;
    }
    if (listing != vErrNone) {
        return listing;
    }
    return removed ? vErrNone : vErrUnknown;
}

vErr vDirectory_CWD(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return vErrParam;
    }
    return platform::currentDirectory(buffer, size) ? vErrNone : vErrParam;
}

vErr vDirectory_ExecutableFilePath(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return vErrParam;
    }
    return platform::executableFilePath(buffer, size) ? vErrNone : vErrRead;
}

vErr vDirectory_GetHomeDirectory(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return vErrParam;
    }
    buffer[0] = '\0';
    const char *home = platform::environmentValue("HOME");
    if (home == nullptr || home[0] == '\0') {
        return vErrNotFound;
    }
    return vDirectory_BuildPath(buffer, size, home, nullptr);
}

vErr vDirectory_JoinPath(char *buffer, size_t size, const char *first, const char *second) {
    return vDirectory_BuildPath(buffer, size, first, second, nullptr);
}

vErr vDirectory_BuildPath(char *buffer, size_t size, const char *first, ...) {
    va_list components;
    va_start(components, first);
    vErr result = buildPathFromList(buffer, size, first, components);
    va_end(components);
    return result;
}

const char *vDirectory_Separator(void) {
    return platform::kPathSeparator;
}
