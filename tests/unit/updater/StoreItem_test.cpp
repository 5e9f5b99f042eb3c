#include "StoreItem.h"

#include "support/BirdWriter.h"
#include "support/FileSizeLimit.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

class StoreItemTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;
    std::string device = directory.file("40F5849A");

    void SetUp() override { std::filesystem::create_directory(device); }
    StoreItem item() { return StoreItem(directory.path(), "40F5849A", true); }
};

std::string loadFailure(const StoreItem &item, const std::string &fileName) {
    try {
        item.LoadBird(fileName);
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return "loaded";
}

} // namespace

TEST_F(StoreItemTest, DefaultItemIsEmpty) {
    StoreItem empty;
    EXPECT_EQ(empty.getParent(), "");
    EXPECT_EQ(empty.getName(), "");
    EXPECT_FALSE(empty.isDirectory());
    EXPECT_EQ(empty.attributes().getPath(), "");
}

TEST_F(StoreItemTest, ConstructionReadsTheEntrysAttributes) {
    writeWholeFile(device + "/.settings", "LATEST_DOWNLOAD=1234.bird\n");
    StoreItem loaded = item();
    EXPECT_EQ(loaded.path(), device);
    EXPECT_TRUE(loaded.isDirectory());
    EXPECT_EQ(loaded.attributes().getPath(), device + "/.settings");
    EXPECT_EQ(loaded.attributes().GetString("LATEST_DOWNLOAD", nullptr), "1234.bird");
}

TEST_F(StoreItemTest, WriteFileStoresAndReplacesTheBytes) {
    StoreItem target = item();
    ASSERT_EQ(target.WriteFile("1234.bird", "first", 5), vErrNone);
    EXPECT_EQ(readWholeFile(device + "/1234.bird"), "first");
    ASSERT_EQ(target.WriteFile("1234.bird", "2nd", 3), vErrNone);
    EXPECT_EQ(readWholeFile(device + "/1234.bird"), "2nd");
    EXPECT_EQ(directoryNames(device), (std::vector<std::string>{".settings", "1234.bird"}));
}

TEST_F(StoreItemTest, WriteFileRefusesWhatItCannotStore) {
    StoreItem target = item();
    EXPECT_EQ(target.WriteFile("1234.bird", nullptr, 5), vErrNotFound);
    EXPECT_FALSE(std::filesystem::exists(device + "/1234.bird"));
    StoreItem elsewhere(directory.path(), "missing", true);
    EXPECT_EQ(elsewhere.WriteFile("1234.bird", "x", 1), vErrNotFound);
}

TEST_F(StoreItemTest, WriteThatFailsHalfWayKeepsTheOldFile) {
    StoreItem target = item();
    std::string old(500, 'o');
    ASSERT_EQ(target.WriteFile("1234.bird", old.data(), old.size()), vErrNone);
    std::string replacement(8192, 'n');
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(target.WriteFile("1234.bird", replacement.data(), replacement.size()), vErrWrite);
    }
    EXPECT_EQ(readWholeFile(device + "/1234.bird"), old);
    EXPECT_EQ(directoryNames(device), (std::vector<std::string>{".settings", "1234.bird"}));
}

TEST_F(StoreItemTest, LoadBirdChecksTheFileFirst) {
    writeBirdFiles(
        {{device + "/1234.bird", R"({"objects": [{"kind": "descriptor", "version": "2.0.1"}]})"},
         {device + "/broken.bird", R"({"objects": [], "zlib_cut": 4})"}});
    writeWholeFile(device + "/text.bird", "not a bird file");
    StoreItem source = item();
    EXPECT_EQ(source.LoadBird("1234.bird").getVersion(), "2.0.1");
    EXPECT_EQ(loadFailure(source, "text.bird"), "Invalid bird " + device + "/text.bird");
    EXPECT_EQ(loadFailure(source, "9999.bird"), "Invalid bird " + device + "/9999.bird");
    EXPECT_EQ(loadFailure(source, "broken.bird"), "Failed to load bird data");
}
