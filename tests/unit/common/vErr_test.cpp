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
