#include <gtest/gtest.h>
#include <quillmark/vDefs.h>

TEST(ModelNames, KnownModelsGiveTheirNames) {
    struct Case {
        uint32_t model;
        const char *name;
    } cases[] = {
        {4, "Alder"},     {5, "Birch"},    {13, "Cedar"},  {14, "Dogwood"},
        {15, "Elm"},      {16, "Fir"},     {17, "Ginkgo"}, {18, "Hazel"},
        {19, "Ironwood"}, {20, "Juniper"}, {21, "Kapok"},  {22, "Larch"},
        {23, "Maple"},    {24, "Nutmeg"},  {25, "Oak"},    {26, "Poplar"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(vDefs_GetModelName(c.model), c.name) << c.model;
    }
}

TEST(ModelNames, EveryOtherNumberIsUnknown) {
    for (uint32_t model : {0u, 1u, 3u, 6u, 12u, 27u, 256u + 4u, 4294967295u}) {
        EXPECT_STREQ(vDefs_GetModelName(model), "Unknown") << model;
    }
}
