#include "UpdaterStore.h"

#include "support/BirdWriter.h"
#include "support/DebugCapture.h"
#include "support/RecordingDisplay.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr unsigned kStoreMask = 0x1;

class UpdaterStoreTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;
    std::string root = directory.file("store");
};

std::string constructionFailure(const std::string &root) {
    try {
        UpdaterStore store(root);
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return "built";
}

std::vector<std::string> namesOf(const std::vector<StoreItem> &items) {
    std::vector<std::string> names;
    for (const StoreItem &item : items) {
        names.push_back(item.getName() + (item.isDirectory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(UpdaterStoreTest, RootIsMadeWithItsParents) {
    std::string nested = directory.file("a/b/store");
    DebugCapture capture(kStoreMask);
    UpdaterStore store(nested);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_EQ(store.getRoot(), nested);
    UpdaterStore again(nested);
    EXPECT_EQ(capture.text(), "UpdaterStore: Created directory [" + nested +
                                  "].\n"
                                  "UpdaterStore: [" +
                                  nested + "] already exists.\n");
}

TEST_F(UpdaterStoreTest, RootThatIsAFileIsRefused) {
    writeWholeFile(root, "");
    EXPECT_EQ(constructionFailure(root), "UpdaterStore: " + root + " exists and is a file");
}

TEST_F(UpdaterStoreTest, RootThatCannotBeMadeIsRefused) {
    writeWholeFile(root, "");
    std::string below = root + "/inner";
    EXPECT_EQ(constructionFailure(below),
              "UpdaterStore: Could not create directory " + below + " error 12");
}

TEST_F(UpdaterStoreTest, OpenStoreReportsFailuresOnTheDisplay) {
    RecordingDisplay display;
    EXPECT_TRUE(OpenStore(&display, root, "Download_Firmware").has_value());
    EXPECT_TRUE(display.errors.empty());

    std::string file = directory.file("plain");
    writeWholeFile(file, "");
    EXPECT_FALSE(OpenStore(&display, file, "load_bird").has_value());
    ASSERT_EQ(display.errors.size(), 1u);
    EXPECT_EQ(display.errors[0], "Failed to Create UpdaterStore in: load_bird - Exception: "
                                 "UpdaterStore: " +
                                     file + " exists and is a file");
    EXPECT_TRUE(display.messages.empty());
}

TEST_F(UpdaterStoreTest, DevicesAreNamedByEightUpperCaseDigits) {
    UpdaterStore store(root);
    for (uint32_t serial : {0x40F5849Au, 0x1234u}) {
        StoreItem device = store.AddDevice(serial);
        EXPECT_EQ(device.getParent(), root);
        EXPECT_TRUE(device.isDirectory());
        EXPECT_TRUE(std::filesystem::is_directory(device.path()));
    }
    EXPECT_EQ(directoryNames(root), (std::vector<std::string>{"00001234", "40F5849A"}));
    EXPECT_TRUE(store.FindDevice(0x1234, nullptr));
    EXPECT_FALSE(store.FindDevice(0x12345, nullptr));
}

TEST_F(UpdaterStoreTest, AddDeviceKeepsAnExistingHistory) {
    UpdaterStore store(root);
    store.AddDevice(0x40F5849A);
    writeWholeFile(root + "/40F5849A/.settings", "LATEST_DOWNLOAD=77.bird\n");
    StoreItem device = store.AddDevice(0x40F5849A);
    EXPECT_EQ(device.attributes().GetString("LATEST_DOWNLOAD", nullptr), "77.bird");
}

TEST_F(UpdaterStoreTest, AddDeviceRefusesAFileInTheWay) {
    UpdaterStore store(root);
    writeWholeFile(root + "/40F5849A", "");
    EXPECT_THROW(store.AddDevice(0x40F5849A), std::runtime_error);
}

TEST_F(UpdaterStoreTest, FindingADeviceCreatesItsMissingSettings) {
    UpdaterStore store(root);
    std::filesystem::create_directory(root + "/40F5849A");
    StoreItem device;
    ASSERT_TRUE(store.FindDevice(0x40F5849A, &device));
    EXPECT_EQ(device.getParent(), root);
    EXPECT_EQ(device.getName(), "40F5849A");
    EXPECT_TRUE(device.isDirectory());
    std::string settings = readWholeFile(root + "/40F5849A/.settings");
    EXPECT_EQ(settings.rfind("CREATED_TIME=", 0), 0u) << settings;
    EXPECT_NE(settings.find("\nUPDATED_TIME="), std::string::npos) << settings;
}

TEST_F(UpdaterStoreTest, FindDeviceLogsItsSearch) {
    UpdaterStore store(root);
    std::filesystem::create_directory(root + "/00000001");
    DebugCapture capture(kStoreMask);
    EXPECT_FALSE(store.FindDevice(0x40F5849A, nullptr));
    std::string log = capture.text();
    EXPECT_NE(log.find("_find_item([" + root + "/00000001], 1, "), std::string::npos) << log;
    EXPECT_NE(log.find(") searching for 40F5849A\n"), std::string::npos) << log;
    std::string last = "UpdaterStore: FindDevice Not Found 40F5849A.\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
}

TEST_F(UpdaterStoreTest, DeviceIsFoundByAnyEntryContainingItsName) {
    struct Case {
        const char *entry;
        bool directory;
    } cases[] = {{"40F5849A.txt", false}, {"old-40F5849A-copy", true}};
    for (const auto &c : cases) {
        TemporaryDirectory place;
        std::string storeRoot = place.file("store");
        UpdaterStore store(storeRoot);
        std::string entry = storeRoot + "/" + c.entry;
        if (c.directory) {
            std::filesystem::create_directory(entry);
        } else {
            writeWholeFile(entry, "");
        }
        StoreItem device;
        ASSERT_TRUE(store.FindDevice(0x40F5849A, &device)) << c.entry;
        EXPECT_EQ(device.getName(), c.entry);
        EXPECT_EQ(device.isDirectory(), c.directory) << c.entry;
        EXPECT_FALSE(store.FindDevice(0x40F5849B, nullptr)) << c.entry;
    }
}

TEST_F(UpdaterStoreTest, RootContainingTheNameMatchesItsFirstEntry) {
    std::string storeRoot = directory.file("40F5849A");
    UpdaterStore store(storeRoot);
    std::filesystem::create_directory(storeRoot + "/unrelated");
    StoreItem device;
    ASSERT_TRUE(store.FindDevice(0x40F5849A, &device));
    EXPECT_EQ(device.getName(), "unrelated");
}

TEST_F(UpdaterStoreTest, FindItemsListsVisibleEntriesOfTheDevice) {
    UpdaterStore store(root);
    std::string device = store.AddDevice(0x40F5849A).path();
    writeWholeFile(device + "/1234.bird", "x");
    writeWholeFile(device + "/1300.bird", "x");
    writeWholeFile(device + "/.hidden", "x");
    std::filesystem::create_directory(device + "/extra");
    std::vector<StoreItem> items;
    ASSERT_TRUE(store.FindItems(0x40F5849A, items));
    EXPECT_EQ(namesOf(items), (std::vector<std::string>{"1234.bird", "1300.bird", "extra/"}));
    for (const StoreItem &item : items) {
        EXPECT_EQ(item.getParent(), device);
    }
    EXPECT_TRUE(std::filesystem::exists(device + "/extra/.settings"))
        << "an entry's settings are created where they can be";
}

TEST_F(UpdaterStoreTest, FindItemsOfAnUnknownDeviceAddsNothing) {
    UpdaterStore store(root);
    std::vector<StoreItem> items;
    EXPECT_TRUE(store.FindItems(0x40F5849A, items));
    EXPECT_TRUE(items.empty());
}

TEST_F(UpdaterStoreTest, StoredBuildLoadsThroughItsDevice) {
    UpdaterStore store(root);
    StoreItem device = store.AddDevice(0x40F5849A);
    writeBirdFiles({{device.path() + "/1234.bird",
                     R"({"objects": [{"kind": "descriptor", "version": "3.1.4"}]})"}});
    StoreItem found;
    ASSERT_TRUE(store.FindDevice(0x40F5849A, &found));
    EXPECT_EQ(found.LoadBird("1234.bird").getVersion(), "3.1.4");
}
