#include "AttributeFile.h"
#include "Base64.h"
#include "Messages.h"
#include "UpdaterApp.h"
#include "UpdaterStore.h"

#include <charconv>
#include <chrono>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

constexpr const char *kActivityLabel = "Downloading";
constexpr std::chrono::milliseconds kSpinnerStep{100};

// The whole text as an unsigned 32-bit decimal number.
std::optional<uint32_t> buildNumberOf(const std::string &text) {
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Turns the spinner while the task runs, then clears its line.
bool awaitWithSpinner(UpdaterDisplayInterface *display, std::future<bool> &task) {
    display->showActivity(true, kActivityLabel);
    while (task.wait_for(kSpinnerStep) == std::future_status::timeout) {
        display->showActivity(true, kActivityLabel);
    }
    display->showActivity(false, kActivityLabel);
    return task.get();
}

// Stores the decoded file and records it as the latest download. False (reported) when the
// text does not decode or the file cannot be written: then nothing is recorded, so the store
// never names a build it does not hold.
bool storeBuild(UpdaterDisplayInterface *display, StoreItem &item, const std::string &name,
                const std::string &birdBase64) {
    size_t length = 0;
    std::unique_ptr<uint8_t[]> bytes = base64Decode(birdBase64.data(), birdBase64.size(), length);
    if (!bytes) {
        displayMessage(display, 1, "Failed to retrieve a valid BIRD file");
        return false;
    }
    std::string timeText = currentTimeText();
    if (vErr result = item.WriteFile(name, bytes.get(), length); result != vErrNone) {
        displayMessage(display, 1, "Failed to write file with %d", static_cast<int>(result));
        return false;
    }
    AttributeFile &attributes = item.attributes();
    attributes.Set("LATEST_DOWNLOAD", name);
    attributes.Set("LAST_DOWNLOAD_DATE", timeText);
    attributes.Write(nullptr);
    return true;
}

// The device's store directory, made when the device is new; none (reported) when it cannot be.
std::optional<StoreItem> findOrAddDevice(UpdaterDisplayInterface *display, UpdaterStore &store,
                                         uint32_t serial) {
    StoreItem item;
    if (store.FindDevice(serial, &item)) {
        return item;
    }
    debugPrint(DEBUG_APP, "Could not find device in our update history.\n");
    try {
        return store.AddDevice(serial);
    } catch (const std::runtime_error &) {
        displayMessage(display, 1, "Could not create directory for storing BIRD file");
        return std::nullopt;
    }
}

// True when the build may be fetched: always with override, else when the server lists it.
bool confirmBuild(UpdaterDisplayInterface *display, ServerCommClass &server, uint32_t serial,
                  uint32_t build, bool override, const char *url) {
    if (override) {
        displayMessage(display, 0, "Override specified, skipping validation of build %u", build);
        return true;
    }
    displayMessage(display, 0, "Validating build %u with server", build);
    if (!server.isBuildAvailable(serial, build, url)) {
        displayMessage(display, 1, "No valid build %u", build);
        return false;
    }
    displayMessage(display, 0, "Build %u is valid", build);
    return true;
}

} // namespace

uint32_t UpdaterApp::Download_Firmware(uint32_t serial, const std::string &build, bool override,
                                       bool noCalibration) {
    uint32_t requested = 0;
    if (!build.empty()) {
        std::optional<uint32_t> number = buildNumberOf(build);
        if (!number) {
            displayMessage(display_, 1, "Build number '%s' must be an number", build.c_str());
            return 0;
        }
        requested = *number;
    }
    if (serial == 0) {
        displayMessage(display_, 1, "Serial Number must be non-zero");
        return 0;
    }
    const char *url = serverUrl_.c_str();
    ServerCommClass server = serverClient();
    if (!server.ping(url)) {
        displayMessage(display_, 1, "Server request failed for %s", url);
        return 0;
    }
    std::optional<UpdaterStore> store = OpenStore(display_, storeRoot_, "Download_Firmware");
    if (!store) {
        return 0;
    }
    std::optional<StoreItem> item = findOrAddDevice(display_, *store, serial);
    if (!item) {
        return 0;
    }
    std::string current;
    std::string fw;
    if (!server.QueryBuild(serial, current, fw, url)) {
        displayMessage(display_, 1, "No build information for device");
        return 0;
    }
    if (requested == 0) {
        if (std::optional<uint32_t> number = buildNumberOf(current)) {
            requested = *number;
        } else {
            debugPrint(DEBUG_Updater, "Error: Could not convert %s to int.\n", current.c_str());
        }
    }
    displayMessage(display_, 0, "Retrieving build %u", requested);
    if (!confirmBuild(display_, server, serial, requested, override, url)) {
        return 0;
    }
    std::string bld = std::to_string(requested);
    std::string birdBase64;
    std::future<bool> task = std::async(std::launch::async, [&] {
        return server.GetBuild(serial, fw, bld, birdBase64, url, noCalibration);
    });
    if (!awaitWithSpinner(display_, task)) {
        displayMessage(display_, 1, "Download failed");
    }
    if (birdBase64.empty()) {
        displayMessage(display_, 1, "Failed to retrieve a valid BIRD file");
        return 0;
    }
    return storeBuild(display_, *item, bld + ".bird", birdBase64) ? requested : 0;
}
