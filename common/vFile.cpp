#include "vFileRecord.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace {

bool modeKnown(std::uint32_t mode) {
    return mode <= vFileModeAppend;
}

platform::FileOpenMode platformMode(std::uint32_t mode) {
    switch (mode) {
    case vFileModeWrite:
        return platform::FileOpenMode::WriteExclusive;
    case vFileModeAppend:
        return platform::FileOpenMode::AppendShared;
    default:
        return platform::FileOpenMode::ReadShared;
    }
}

bool pathAcceptable(const char *path) {
    return path != nullptr && std::strlen(path) <= V_FILE_PATH_MAX;
}

} // namespace

void releaseFileRecord(vFileHandle *handle) {
    (*handle)->checkWord = 0;
    delete *handle;
    *handle = nullptr;
}

bool vFile_Exists(const char *path) {
    return path != nullptr && platform::isNonDirectory(path);
}

vFileHandle vFile_Open(const char *path, uint32_t mode) {
    if (!pathAcceptable(path) || !modeKnown(mode)) {
        errno = path == nullptr || !modeKnown(mode) ? EINVAL : ENAMETOOLONG;
        return nullptr;
    }
    auto *file = new (std::nothrow) vFileRecord;
    if (file == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    file->mode = mode;
    if (platform::openFile(path, platformMode(mode), &file->handle) != vErrNone) {
        int reason = errno;
        delete file;
        errno = reason;
        return nullptr;
    }
    return file;
}

vErr vFile_Close(vFileHandle *handle) {
    if (handle == nullptr || !isOpenFile(*handle)) {
        return vErrParam;
    }
    vErr result = platform::closeFile((*handle)->handle);
    if (!(*handle)->temporaryPath.empty()) {
        platform::removeFileEntry((*handle)->temporaryPath.c_str());
    }
    releaseFileRecord(handle);
    return result;
}

vErr vFile_Read(vFileHandle handle, void *buffer, size_t length, size_t *read) {
    if (read != nullptr) {
        *read = 0;
    }
    if (buffer == nullptr) {
        return vErrParam;
    }
    if (vErr access = checkAccess(handle, vFileModeWrite); access != vErrNone) {
        return access;
    }
    size_t count = 0;
    vErr result = platform::readFile(handle->handle, buffer, length, &count);
    if (read != nullptr) {
        *read = count;
    }
    if (result != vErrNone) {
        return result;
    }
    return count == 0 && length > 0 ? vErrEOF : vErrNone;
}

vErr vFile_Write(vFileHandle handle, const void *data, size_t length, size_t *written) {
    if (written != nullptr) {
        *written = 0;
    }
    if (data == nullptr && length > 0) {
        return vErrParam;
    }
    if (vErr access = checkAccess(handle, vFileModeRead); access != vErrNone) {
        return access;
    }
    size_t count = 0;
    vErr result = platform::writeFile(handle->handle, data, length, &count);
    if (written != nullptr) {
        *written = count;
    }
    return result;
}

vErr vFile_Seek(vFileHandle handle, int64_t offset, int32_t origin) {
    if (!isOpenFile(handle)) {
        return vErrParam;
    }
    uint64_t size = 0;
    uint64_t base = 0;
    if (platform::fileSize(handle->handle, &size) != vErrNone) {
        return vErrIO;
    }
    switch (origin) {
    case 0:
        break;
    case 1:
        if (platform::filePosition(handle->handle, &base) != vErrNone) {
            return vErrIO;
        }
        break;
    case 2:
        base = size;
        break;
    default:
        return vErrParam;
    }
    // Sizes and positions fit in off_t, so neither bound below can overflow.
    auto signedBase = static_cast<int64_t>(base);
    if (offset < -signedBase || offset > static_cast<int64_t>(size) - signedBase) {
        return vErrRange;
    }
    return platform::setFilePosition(handle->handle, static_cast<uint64_t>(signedBase + offset));
}

vErr vFile_GetSize(vFileHandle handle, uint64_t *size) {
    if (size != nullptr) {
        *size = 0;
    }
    if (!isOpenFile(handle)) {
        return vErrParam;
    }
    uint64_t found = 0;
    if (platform::fileSize(handle->handle, &found) != vErrNone) {
        return vErrIO;
    }
    if (size != nullptr) {
        *size = found;
    }
    return vErrNone;
}

vErr vFile_GetPosition(vFileHandle handle, uint64_t *position) {
    if (!isOpenFile(handle) || position == nullptr) {
        return vErrParam;
    }
    return platform::filePosition(handle->handle, position);
}

vErr vFile_Delete(const char *path) {
    if (path == nullptr) {
        return vErrParam;
    }
    return platform::removeFileEntry(path);
}

vErr vFile_SetUnbuffered(vFileHandle) {
    return vErrMode;
}
