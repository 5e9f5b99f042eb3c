// File streams: their transport state is the file handle itself.

#include <quillmark/vFile.h>
#include <quillmark/vStream.h>

#include <cstring>

namespace {

vErr fileGet(uint8_t *byte, void *ref) {
    size_t read = 0;
    vErr result = vFile_Read(static_cast<vFileHandle>(ref), byte, 1, &read);
    if (result == vErrEOF || (result == vErrNone && read == 0)) {
        return vErrEOF;
    }
    if (result == vErrMode || result == vErrParam) {
        return result;
    }
    return result == vErrNone ? vErrNone : vErrRead;
}

vErr fileWrite(const uint8_t *buffer, uint32_t length, void *ref) {
    size_t written = 0;
    vErr result = vFile_Write(static_cast<vFileHandle>(ref), buffer, length, &written);
    if (result == vErrParam) {
        return result;
    }
    return result == vErrNone && written == length ? vErrNone : vErrWrite;
}

vErr filePut(const uint8_t *byte, void *ref) {
    return fileWrite(byte, 1, ref);
}

// A file holds all its bytes already: a read never has to wait.
vErr fileWait(uint32_t, void *) {
    return vErrNone;
}

vErr fileDestroy(void *ref) {
    auto handle = static_cast<vFileHandle>(ref);
    return vFile_Close(&handle);
}

vErr createFileStream(const char *path, uint32_t mode, vStream **stream) {
    if (stream == nullptr) {
        return vErrResource;
    }
    *stream = nullptr;
    if (path == nullptr || std::strlen(path) > V_FILE_PATH_MAX) {
        return vErrResource;
    }
    vFileHandle file = vFile_Open(path, mode);
    if (file == nullptr) {
        return vErrResource;
    }
    bool input = mode == vFileModeRead;
    vStream *created = input ? vStream_Create(fileGet, nullptr, nullptr, fileDestroy, file)
                             : vStream_Create(nullptr, filePut, fileWrite, fileDestroy, file);
    if (created == nullptr) {
        vFile_Close(&file);
        return vErrResource;
    }
    if (input) {
        vStream_SetWaitProc(created, fileWait);
    }
    *stream = created;
    return vErrNone;
}

} // namespace

vErr vStream_CreateFileInput(const char *path, vStream **stream) {
    return createFileStream(path, vFileModeRead, stream);
}

vErr vStream_CreateFileOutput(const char *path, vStream **stream) {
    return createFileStream(path, vFileModeWrite, stream);
}
