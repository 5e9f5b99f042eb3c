#include "vFileRecord.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Room for the hidden sibling's name: the target's path plus a dot, a process id and a count.
constexpr size_t kTemporaryPathSize = V_FILE_PATH_MAX + 64;

} // namespace

vFileHandle vFile_OpenReplacement(const char *path) {
    if (path == nullptr || std::strlen(path) > V_FILE_PATH_MAX) {
        errno = path == nullptr ? EINVAL : ENAMETOOLONG;
        return nullptr;
    }
    auto *file = new (std::nothrow) vFileRecord;
    if (file == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    char temporary[kTemporaryPathSize];
    if (platform::createFileBeside(path, temporary, sizeof temporary, &file->handle) != vErrNone) {
        int reason = errno;
        delete file;
        errno = reason;
        return nullptr;
    }
    file->mode = vFileModeWrite;
    file->temporaryPath = temporary;
    file->targetPath = path;
    return file;
}

vErr vFile_CommitReplacement(vFileHandle *handle) {
    if (handle == nullptr || !isOpenFile(*handle) || (*handle)->temporaryPath.empty()) {
        return vErrParam;
    }
    vFileRecord *file = *handle;
    vErr result = platform::flushFileData(file->handle);
    vErr closed = platform::closeFile(file->handle);
    if (result == vErrNone) {
        result = closed == vErrNone ? vErrNone : vErrWrite;
    }
    if (result == vErrNone) {
        result = platform::replaceFile(file->temporaryPath.c_str(), file->targetPath.c_str());
    }
    if (result != vErrNone) {
        platform::removeFileEntry(file->temporaryPath.c_str());
    }
    releaseFileRecord(handle);
    return result;
}
