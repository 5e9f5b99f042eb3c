#include <quillmark/vLinkSpec.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

TEST(LinkSpecLayout, FieldsSitWhereCallersExpectThem) {
    EXPECT_EQ(sizeof(linkSpec), 128u);
    EXPECT_EQ(offsetof(linkSpec, type), 0u);
    EXPECT_EQ(offsetof(linkSpec, serial_num), 4u);
    EXPECT_EQ(offsetof(linkSpec, module), 8u);
    EXPECT_EQ(offsetof(linkSpec, router), 12u);
    EXPECT_EQ(offsetof(linkSpec, router_serial), 16u);
    EXPECT_EQ(offsetof(linkSpec, model), 20u);
    EXPECT_EQ(offsetof(linkSpec, ip_address), 24u);
    EXPECT_EQ(offsetof(linkSpec, port), 28u);
    EXPECT_EQ(offsetof(linkSpec, baud_rate), 24u);
    EXPECT_EQ(offsetof(linkSpec, serial_port), 28u);
    EXPECT_EQ(sizeof(linkSpec::serial_port), 100u);
}

TEST(LinkSpecLayout, EnumerationsHaveTheirNumbers) {
    EXPECT_EQ(sizeof(linkType), 4u);
    EXPECT_EQ(sizeof(linkStatus), 4u);
    EXPECT_EQ(linkTypeVEther, 4);
    EXPECT_EQ(linkStatusSyncing, 4);
    EXPECT_EQ(linkStatusError, 8);
}

TEST(LinkSpecRecord, CreateCopyDestroy) {
    linkSpec *spec = vLinkSpec_Create(linkTypeSerial);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->type, linkTypeSerial);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(spec);
    for (size_t i = sizeof(linkType); i < sizeof(linkSpec); ++i)
        ASSERT_EQ(bytes[i], 0) << i;

    spec->serial_num = 0x40F5849A;
    spec->baud_rate = 115200;
    std::strcpy(spec->serial_port, "/dev/ttyUSB0");
    linkSpec *copy = vLinkSpec_Copy(*spec);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, spec);
    EXPECT_EQ(std::memcmp(copy, spec, sizeof(linkSpec)), 0);

    EXPECT_EQ(vLinkSpec_Destroy(&spec), vErrNone);
    EXPECT_EQ(spec, nullptr);
    EXPECT_EQ(vLinkSpec_Destroy(&spec), vErrParam);
    EXPECT_EQ(vLinkSpec_Destroy(nullptr), vErrParam);
    EXPECT_STREQ(copy->serial_port, "/dev/ttyUSB0");
    EXPECT_EQ(vLinkSpec_Destroy(&copy), vErrNone);
}

} // namespace
