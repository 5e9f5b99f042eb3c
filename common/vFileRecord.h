#pragma once
#include "platform/platform.h"

#include <quillmark/vFile.h>

#include <cstdint>
#include <string>

inline constexpr std::uint32_t kFileCheckWord = 0xFEED;

struct vFileRecord {
    std::uint32_t checkWord = kFileCheckWord;
    platform::FileHandle handle = -1;
    std::uint32_t mode = vFileModeRead;
    // Set only for a replacement: the hidden file being written and the file it will replace.
    std::string temporaryPath;
    std::string targetPath;
};

inline bool isOpenFile(const vFileRecord *file) {
    return file != nullptr && file->checkWord == kFileCheckWord;
}

// vErrParam for a bad handle, vErrMode for a file opened in the mode that rules the operation
// out (vFileModeWrite for reading, vFileModeRead for writing).
inline vErr checkAccess(const vFileRecord *file, std::uint32_t forbiddenMode) {
    if (!isOpenFile(file)) {
        return vErrParam;
    }
    return file->mode == forbiddenMode ? vErrMode : vErrNone;
}

// Frees the record after clearing its check word, so that a stale pointer to it is refused even
// while the memory is not yet re-used.
void releaseFileRecord(vFileHandle *handle);
