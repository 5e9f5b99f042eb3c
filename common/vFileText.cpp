#include "vFileRecord.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Formatted output longer than this is refused rather than cut.
constexpr size_t kFormatLimit = 65536;

} // namespace

// Each call formats into memory of its own, so calls from several threads cannot mix their
// output.
vErr vFile_Printf(vFileHandle handle, const char *format, ...) {
    if (format == nullptr) {
        return vErrParam;
    }
    if (vErr access = checkAccess(handle, vFileModeRead); access != vErrNone) {
        return access;
    }
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0 || static_cast<size_t>(length) >= kFormatLimit) {
        va_end(arguments);
        return vErrIO;
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    return vFile_Write(handle, text.data(), static_cast<size_t>(length), nullptr);
}

vErr vFile_ReadLine(vFileHandle handle, char *buffer, size_t size, size_t *length) {
    if (length != nullptr) {
        *length = 0;
    }
    if (buffer != nullptr && size != 0) {
        buffer[0] = '\0';
    }
    // Below two bytes not even one character fits beside the terminator.
    if (buffer == nullptr || size < 2) {
        return vErrParam;
    }
    if (vErr access = checkAccess(handle, vFileModeWrite); access != vErrNone) {
        return access;
    }
    size_t count = 0;
    if (platform::readFile(handle->handle, buffer, size - 1, &count) != vErrNone) {
        return vErrIO;
    }
    if (count == 0) {
        return vErrEOF;
    }
    size_t line = count;
    if (const void *feed = std::memchr(buffer, '\n', count); feed != nullptr) {
        line = static_cast<size_t>(static_cast<const char *>(feed) - buffer) + 1;
        uint64_t position = 0;
        if (platform::filePosition(handle->handle, &position) != vErrNone ||
            platform::setFilePosition(handle->handle, position - (count - line)) != vErrNone) {
            return vErrIO;
        }
    }
    buffer[line] = '\0';
    if (length != nullptr) {
        *length = line;
    }
    return line == size - 1 && buffer[line - 1] != '\n' ? vErrOverrun : vErrNone;
}
