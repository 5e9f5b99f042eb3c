#pragma once
#include "ServerCommClass.h"

#include <cstdint>
#include <string>

inline constexpr const char *kProgramName = "Updater";
inline constexpr const char *kProgramVersion = "Version: 2.11.1 Nov  8 2024";
inline constexpr const char *kDefaultServerHost = "update.veltrona.com";
inline constexpr const char *kDefaultServerUrl = ServerCommClass::kDefaultBaseUrl;

// Bits of UpdaterOptions::commandFlags.
enum CommandFlag : uint32_t {
    CommandDiscover = 0x00000001,    // -D
    CommandUpdate = 0x00000002,      // -U
    CommandListBuilds = 0x00000004,  // -B
    CommandGetBuild = 0x00000008,    // -G
    CommandInformation = 0x00000010, // -I, runs nothing
    CommandCheck = 0x00000020,       // -C, runs nothing
    CommandFingerprint = 0x00000040, // -N
    CommandZ = 0x00000080,           // -Z, runs nothing
    CommandListLocal = 0x00000200,   // -L
    CommandHelp = 0x80000000,        // -h, -H, --help
};

// The flags that count as a command; the unnamed bits in it are reserved.
inline constexpr uint32_t kCommandMask = 0x000307FF;

enum Transport : int32_t {
    TransportInvalid = 0,
    TransportUSB = 1,
    TransportTCPIP = 2,
    TransportRecover = 255,
};

// The parsed command line. Several fields are accepted for compatibility and read by nobody.
struct UpdaterOptions {
    uint32_t commandFlags = 0;
    uint32_t deviceSerial = 0;
    uint32_t routerSerial = 0;
    int32_t transport = TransportUSB;
    bool transportGiven = false;
    std::string serialPort;
    uint32_t baudRate = 115200;
    std::string birdFilePath;
    std::string historyMessage;
    std::string buildNumber; // decimal digits, or empty for the latest build
    bool echo = false;
    std::string serverUrl = kDefaultServerUrl;
    bool nFlag = false;
    std::string storageDirectory;
    std::string programName;
    std::string logFileName = "Updater.log";
    bool override = false;
    uint32_t debugMaskValue = 0;
    bool helpRequested = false;

    bool hasCommand() const { return (commandFlags & kCommandMask) != 0; }
    bool has(CommandFlag flag) const { return (commandFlags & flag) != 0; }
};
