#include <quillmark/vErr.h>

namespace {

struct ErrorTexts {
    const char *name;
    const char *description;
};

constexpr ErrorTexts kErrorTexts[] = {
    {"vErrNone", "Success, no error"},
    {"vErrMemory", "Memory allocation"},
    {"vErrParam", "Invalid parameter"},
    {"vErrNotFound", "Not found"},
    {"vErrFileNameLength", "File name too long"},
    {"vErrBusy", "Resource busy"},
    {"vErrIO", "Input/Output error"},
    {"vErrMode", "Invalid Mode"},
    {"vErrWrite", "Write error"},
    {"vErrRead", "Read error"},
    {"vErrEOF", "End of file"},
    {"vErrNotReady", "Not ready, no bytes available"},
    {"vErrPermission", "Insufficient permissions"},
    {"vErrRange", "Value out of range"},
    {"vErrSize", "Invalid Size"},
    {"vErrOverrun", "Buffer/queue overrun"},
    {"vErrParse", "Parse error"},
    {"vErrConfiguration", "Configuration error"},
    {"vErrTimeout", "Timeout occurred"},
    {"vErrInitialization", "Initialization error"},
    {"vErrVersion", "Invalid version"},
    {"vErrUnimplemented", "Functionality unimplemented"},
    {"vErrDuplicate", "Duplicate request"},
    {"vErrCancel", "Cancellation occurred, or did not complete"},
    {"vErrPacket", "Packet byte invalid"},
    {"vErrConnection", "Connection error"},
    {"vErrIndexRange", "Index out of range"},
    {"vErrShortCommand", "Quillmark command to short"},
    {"vErrInvalidEntity", "Invalid entity error"},
    {"vErrInvalidOption", "Invalid option code"},
    {"vErrResource", "Resource unavailable"},
    {"vErrMedia", "Media error"},
    {"vErrAsyncReturn", "Asynchronous return error"},
    {"vErrStreamStale", "Stream value is stale"},
    {"vErrUnknown", "Unknown error"},
};
static_assert(sizeof(kErrorTexts) / sizeof(kErrorTexts[0]) == vErrUnknown + 1);

const ErrorTexts &textsOf(int32_t code) {
    return (code < 0 || code > vErrUnknown) ? kErrorTexts[vErrUnknown] : kErrorTexts[code];
}

} // namespace

const char *vError_GetErrorText(int32_t code) {
    return textsOf(code).name;
}

const char *vError_GetErrorDescription(int32_t code) {
    return textsOf(code).description;
}
