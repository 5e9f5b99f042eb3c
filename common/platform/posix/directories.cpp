#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

bool isDirectory(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

DirectoryCreation createDirectory(const char *path, uint32_t mode) {
    if (mkdir(path, static_cast<mode_t>(mode)) == 0) {
        return DirectoryCreation::created;
    }
    return errno == EEXIST ? DirectoryCreation::existedAlready : DirectoryCreation::failed;
}

bool removeDirectory(const char *path) {
    return rmdir(path) == 0;
}

vErr removeFileEntry(const char *path) {
    if (unlink(path) == 0) {
        return vErrNone;
    }
    switch (errno) {
    case ENOENT:
        return vErrNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return vErrPermission;
    default:
        return vErrIO;
    }
}

bool listDirectory(const char *path, DirectoryVisitor visitor, void *reference) {
    DIR *directory = opendir(path);
    if (directory == nullptr) {
        return false;
    }
    int descriptor = dirfd(directory);
    while (const dirent *entry = readdir(directory)) {
        struct stat status {};
        // An entry that vanished since it was read is still reported, with no size.
        bool known = fstatat(descriptor, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0;
        DirectoryItem item{entry->d_name, known ? static_cast<uint64_t>(status.st_size) : 0,
                           known && S_ISDIR(status.st_mode)};
        if (!visitor(item, reference)) {
            break;
        }
    }
    closedir(directory);
    return true;
}

bool currentDirectory(char *buffer, size_t size) {
    return getcwd(buffer, size) != nullptr;
}

bool executableFilePath(char *buffer, size_t size) {
    if (size == 0) {
        return false;
    }
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    // readlink neither terminates nor reports a cut, so a full buffer means it did not fit.
    if (length < 0 || static_cast<size_t>(length) >= size) {
        buffer[0] = '\0';
        return false;
    }
    buffer[length] = '\0';
    return true;
}

const char *environmentValue(const char *name) {
    return std::getenv(name);
}

} // namespace platform
