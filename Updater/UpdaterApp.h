#pragma once
#include "ServerCommClass.h"
#include "UpdaterDisplayInterface.h"

#include <array>
#include <cstdint>
#include <string>

// Four words that identify a chip, as its boot loader reports them.
using ChipFingerprint = std::array<uint32_t, 4>;

// The application: one object per run, whose methods are the commands. Commands print their
// own failures through the display and report them in their result, never by throwing.
class UpdaterApp {
  public:
    UpdaterApp(std::string serverUrl, std::string storeRoot, UpdaterDisplayInterface *display);

    const std::string &serverUrl() const { return serverUrl_; }
    const std::string &storeRoot() const { return storeRoot_; }
    UpdaterDisplayInterface *display() const { return display_; }

    // -D: searches for devices (behind routerSerial when it is non-zero) and prints them.
    // transport 0 means every transport.
    bool discover(uint32_t routerSerial, int32_t transport);
    // -B and -L: fetch one device's server or stored build list and print it. A list that
    // could not be fetched prints as empty, so both always succeed.
    bool listServerBuilds(uint32_t serial);
    bool listLocalBuilds(uint32_t serial);
    // The builds the server offers for the device; empty when they could not be fetched.
    BuildList Get_BuildList(uint32_t serial);
    // The device's stored entries by name (".bird" cut off), with the version of BIRD files.
    BuildList Get_BuildListLocal(uint32_t serial);
    // -G: the build number that was stored, 0 on failure. An empty build means the latest.
    uint32_t Download_Firmware(uint32_t serial, const std::string &build, bool override,
                               bool noCalibration);
    // -U: build 0 and an empty path mean the latest stored build; routerSerial 0 means direct.
    bool Update_Firmware(uint32_t serial, uint32_t build, const std::string &birdFilePath,
                         uint32_t routerSerial, bool override);
    // -N, and the first step of a recovery.
    bool getDeviceIdentifier(ChipFingerprint &fingerprint, const std::string &portName,
                             uint32_t serial, const std::string &birdFilePath, uint32_t baudRate,
                             bool resetAfterwards);
    // -U -t RECOVER.
    bool recoverDevice(const std::string &portName, uint32_t build, uint32_t baudRate,
                       uint32_t serial, const std::string &birdFilePath, bool override);

  private:
    // The server client with this run's waiting limits.
    ServerCommClass serverClient() const;

    std::string serverUrl_;
    std::string storeRoot_;
    UpdaterDisplayInterface *display_;
    uint8_t chipKind_ = 0; // which boot loader a recovery found
};
