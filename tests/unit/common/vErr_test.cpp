#include <gtest/gtest.h>
#include <quillmark/vErr.h>

#include <string>

TEST(ErrorTexts, KnownCodesGiveTheirNameAndDescription) {
    struct Case {
        int32_t code;
        const char *name;
        const char *description;
    } cases[] = {
        {0, "vErrNone", "Success, no error"},
        {18, "vErrTimeout", "Timeout occurred"},
        {27, "vErrShortCommand", "Quillmark command to short"},
        {33, "vErrStreamStale", "Stream value is stale"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(vError_GetErrorText(c.code), c.name) << c.code;
        EXPECT_STREQ(vError_GetErrorDescription(c.code), c.description) << c.code;
    }
}

TEST(ErrorTexts, CodesOutsideTheTableAreUnknown) {
    for (int32_t code : {34, 35, 1000, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_STREQ(vError_GetErrorText(code), "vErrUnknown") << code;
        EXPECT_STREQ(vError_GetErrorDescription(code), "Unknown error") << code;
    }
}

TEST(ErrorTexts, TextsAreStatic) {
    EXPECT_EQ(vError_GetErrorText(5), vError_GetErrorText(5));
    EXPECT_EQ(vError_GetErrorDescription(5), vError_GetErrorDescription(5));
}

TEST(ErrorTexts, EveryCodeInOrder) {
    struct Row {
        int32_t code;
        vErr value;
        const char *name;
        const char *description;
    } rows[] = {
        {0, vErrNone, "vErrNone", "Success, no error"},
        {1, vErrMemory, "vErrMemory", "Memory allocation"},
        {2, vErrParam, "vErrParam", "Invalid parameter"},
        {3, vErrNotFound, "vErrNotFound", "Not found"},
        {4, vErrFileNameLength, "vErrFileNameLength", "File name too long"},
        {5, vErrBusy, "vErrBusy", "Resource busy"},
        {6, vErrIO, "vErrIO", "Input/Output error"},
        {7, vErrMode, "vErrMode", "Invalid Mode"},
        {8, vErrWrite, "vErrWrite", "Write error"},
        {9, vErrRead, "vErrRead", "Read error"},
        {10, vErrEOF, "vErrEOF", "End of file"},
        {11, vErrNotReady, "vErrNotReady", "Not ready, no bytes available"},
        {12, vErrPermission, "vErrPermission", "Insufficient permissions"},
        {13, vErrRange, "vErrRange", "Value out of range"},
        {14, vErrSize, "vErrSize", "Invalid Size"},
        {15, vErrOverrun, "vErrOverrun", "Buffer/queue overrun"},
        {16, vErrParse, "vErrParse", "Parse error"},
        {17, vErrConfiguration, "vErrConfiguration", "Configuration error"},
        {18, vErrTimeout, "vErrTimeout", "Timeout occurred"},
        {19, vErrInitialization, "vErrInitialization", "Initialization error"},
        {20, vErrVersion, "vErrVersion", "Invalid version"},
        {21, vErrUnimplemented, "vErrUnimplemented", "Functionality unimplemented"},
        {22, vErrDuplicate, "vErrDuplicate", "Duplicate request"},
        {23, vErrCancel, "vErrCancel", "Cancellation occurred, or did not complete"},
        {24, vErrPacket, "vErrPacket", "Packet byte invalid"},
        {25, vErrConnection, "vErrConnection", "Connection error"},
        {26, vErrIndexRange, "vErrIndexRange", "Index out of range"},
        {27, vErrShortCommand, "vErrShortCommand", "Quillmark command to short"},
        {28, vErrInvalidEntity, "vErrInvalidEntity", "Invalid entity error"},
        {29, vErrInvalidOption, "vErrInvalidOption", "Invalid option code"},
        {30, vErrResource, "vErrResource", "Resource unavailable"},
        {31, vErrMedia, "vErrMedia", "Media error"},
        {32, vErrAsyncReturn, "vErrAsyncReturn", "Asynchronous return error"},
        {33, vErrStreamStale, "vErrStreamStale", "Stream value is stale"},
        {34, vErrUnknown, "vErrUnknown", "Unknown error"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(static_cast<int32_t>(row.value), row.code) << row.name;
        EXPECT_STREQ(vError_GetErrorText(row.code), row.name) << row.code;
        EXPECT_STREQ(vError_GetErrorDescription(row.code), row.description) << row.code;
    }
}
