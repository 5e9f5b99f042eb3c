#include "MainFlow.h"

#include "CommandLine.h"
#include "Messages.h"
#include "NumberParsing.h"
#include "StoreRoot.h"
#include "UpdaterApp.h"
#include "Usage.h"

#include <optional>
#include <string>

namespace {

constexpr uint32_t kNoDeviceSerial = 0xDEADDEAD;

// Gives the exit code when the run must stop here.
std::optional<int> runFingerprint(UpdaterApp &app, const UpdaterOptions &options, int &exitCode) {
    UpdaterDisplayInterface *display = app.display();
    if (options.serialPort.empty()) {
        displayMessage(display, 1, "Must specify the serial port used for connecting");
        return 1;
    }
    ChipFingerprint words{};
    if (app.getDeviceIdentifier(words, options.serialPort, kNoDeviceSerial, options.birdFilePath,
                                options.baudRate, true)) {
        displayMessage(display, 0, "[ %08X %08X %08X %08X ]", words[0], words[1], words[2],
                       words[3]);
    } else {
        displayMessage(display, 1, "Got no response from chip");
        exitCode = 1;
    }
    return std::nullopt;
}

std::optional<int> runGetBuild(UpdaterApp &app, UpdaterOptions &options, int &exitCode) {
    UpdaterDisplayInterface *display = app.display();
    if (options.deviceSerial == 0) {
        displayMessage(display, 1, "-G must specify a specific device via -d");
        displayMessage(display, 1, "--help for usage information");
        return 1;
    }
    displayMessage(display, 0, "Retrieving firmware for device with serial number %08X",
                   options.deviceSerial);
    if (options.buildNumber.empty()) {
        displayMessage(display, 0, "No build specified");
        displayMessage(display, 0, "Using Latest build");
    } else {
        displayMessage(display, 0, "Retrieving firmware build %s", options.buildNumber.c_str());
    }
    uint32_t stored =
        app.Download_Firmware(options.deviceSerial, options.buildNumber, options.override, false);
    if (stored != 0) {
        // A following -U installs exactly the build that was stored.
        options.buildNumber = std::to_string(stored);
        exitCode = 0;
    } else {
        exitCode = 1;
    }
    return std::nullopt;
}

int exitCodeOf(bool success) {
    return success ? 0 : 1;
}

int runDiscover(UpdaterApp &app, const UpdaterOptions &options) {
    bool usable = options.transportGiven && options.transport != TransportRecover;
    return exitCodeOf(app.discover(options.routerSerial, usable ? options.transport : 0));
}

int runUpdate(UpdaterApp &app, const UpdaterOptions &options) {
    const char *end = nullptr;
    uint32_t build = parseDecimal(options.buildNumber.c_str(), &end);
    if (options.transport == TransportRecover) {
        return exitCodeOf(app.recoverDevice(options.serialPort, build, options.baudRate,
                                            options.deviceSerial, options.birdFilePath,
                                            options.override));
    }
    if (options.deviceSerial == 0) {
        displayMessage(app.display(), 1, "Must specify the specific device to be updated");
        return 1;
    }
    return exitCodeOf(app.Update_Firmware(options.deviceSerial, build, options.birdFilePath,
                                          options.routerSerial, options.override));
}

int runListing(UpdaterApp &app, const UpdaterOptions &options, bool local) {
    if (options.deviceSerial == 0) {
        displayMessage(app.display(), 1, "Error must supply a serial number for the %s command",
                       local ? "List Local Builds" : "List Builds");
        printBriefUsage();
        return 1;
    }
    return exitCodeOf(local ? app.listLocalBuilds(options.deviceSerial)
                            : app.listServerBuilds(options.deviceSerial));
}

int runCommands(UpdaterApp &app, UpdaterOptions &options) {
    int exitCode = 0;
    if (options.has(CommandFingerprint)) {
        if (std::optional<int> stop = runFingerprint(app, options, exitCode)) {
            return *stop;
        }
    }
    bool downloadFailed = false;
    if (options.has(CommandGetBuild)) {
        if (std::optional<int> stop = runGetBuild(app, options, exitCode)) {
            return *stop;
        }
        downloadFailed = exitCode != 0;
    }
    if (options.has(CommandDiscover)) {
        return runDiscover(app, options);
    }
    if (options.has(CommandUpdate)) {
        if (downloadFailed) {
            // "-G -U" installs the build just fetched; without it there is nothing to install.
            return 1;
        }
        return runUpdate(app, options);
    }
    if (options.has(CommandListBuilds)) {
        return runListing(app, options, false);
    }
    if (options.has(CommandListLocal)) {
        return runListing(app, options, true);
    }
    return exitCode;
}

} // namespace

int runUpdater(UpdaterDisplayInterface *display, int argc, const char *const *argv) {
    setDebugStream(stderr);
    UpdaterOptions options;
    int parseResult = parseCommandLine(display, argc, argv, options);
    displayMessage(display, 0, "%s (%s)", kProgramName, kProgramVersion);
    if (parseResult != 0) {
        printBriefUsage();
        return 1;
    }
    if (options.helpRequested || !options.hasCommand()) {
        printUsage(options.helpRequested);
        return 0;
    }
    std::optional<std::string> storeRoot = prepareStoreRoot(display, options.storageDirectory);
    if (!storeRoot) {
        return 1;
    }
    UpdaterApp app(options.serverUrl, *storeRoot, display);
    return runCommands(app, options);
}
