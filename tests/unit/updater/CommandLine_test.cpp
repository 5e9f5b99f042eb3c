#include "CommandLine.h"
#include "Messages.h"
#include "support/RecordingDisplay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    int result;
    UpdaterOptions options;
    std::vector<std::string> errors;
};

Parsed parse(std::vector<const char *> words) {
    words.insert(words.begin(), "/usr/local/bin/Updater");
    RecordingDisplay display;
    Parsed parsed{0, {}, {}};
    parsed.result =
        parseCommandLine(&display, static_cast<int>(words.size()), words.data(), parsed.options);
    parsed.errors = display.errors;
    return parsed;
}

} // namespace

TEST(CommandLine, DefaultsWithoutWords) {
    Parsed parsed = parse({});
    const UpdaterOptions &o = parsed.options;
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(o.commandFlags, 0u);
    EXPECT_EQ(o.transport, TransportUSB);
    EXPECT_FALSE(o.transportGiven);
    EXPECT_EQ(o.baudRate, 115200u);
    EXPECT_EQ(o.logFileName, "Updater.log");
    EXPECT_EQ(o.serverUrl.rfind("http://", 0), 0u);
    EXPECT_EQ(o.serverUrl.substr(o.serverUrl.size() - 6), "/cgi/u");
    EXPECT_EQ(o.programName, "Updater");
    EXPECT_FALSE(o.hasCommand());
}

TEST(CommandLine, CommandFlags) {
    struct Case {
        const char *word;
        uint32_t flag;
    } cases[] = {{"-D", 0x1},  {"-U", 0x2},  {"-B", 0x4},  {"-G", 0x8},
                 {"-I", 0x10}, {"-C", 0x20}, {"-N", 0x40}, {"-L", 0x200}};
    for (const auto &c : cases) {
        Parsed parsed = parse({c.word});
        EXPECT_EQ(parsed.options.commandFlags, c.flag) << c.word;
        EXPECT_TRUE(parsed.options.hasCommand()) << c.word;
    }
    EXPECT_EQ(parse({"-Z", "x"}).options.commandFlags, 0x80u);
    EXPECT_EQ(parse({"-D", "-G", "-L"}).options.commandFlags, 0x209u);
}

TEST(CommandLine, WordRules) {
    struct Case {
        std::vector<const char *> words;
        std::string birdFile;
        std::string serialPort;
        bool override;
        uint32_t flags;
    } cases[] = {
        // Prefixes of the long names, matched only when exactly one name qualifies.
        {{"-OV"}, "", "", true, 0},
        {{"-O"}, "", "", true, 0},
        {{"-OVERRIDEX"}, "", "", false, 0},
        {{"--OV"}, "", "", false, 0},
        {{"-he"}, "", "", false, 0},
        // Arguments: their own word after "=", or the next word unless it starts with "-".
        {{"-f", "/srv/firmware/fw.bird"}, "/srv/firmware/fw.bird", "", false, 0},
        {{"-f=/srv/fw.bird"}, "/srv/fw.bird", "", false, 0},
        {{"-f=a=b"}, "a=b", "", false, 0},
        {{"-f", "-D"}, "", "", false, 0x1},
        {{"-s", "/dev/ttyUSB0", "-N"}, "", "/dev/ttyUSB0", false, 0x40},
        {{"-f"}, "", "", false, 0},
        // No option, or no argument expected: skipped.
        {{"/h", "-G=1", "-D"}, "", "", false, 0x1},
        {{"word", "-", "--", "-T", "-OVERRIDE=1"}, "", "", false, 0},
        {{"-s", "COM3", "-s", "COM4"}, "", "COM4", false, 0},
    };
    for (const auto &c : cases) {
        Parsed parsed = parse(c.words);
        std::string words;
        for (const char *w : c.words) {
            words += std::string(w) + " ";
        }
        EXPECT_EQ(parsed.result, 0) << words;
        EXPECT_TRUE(parsed.errors.empty()) << words;
        EXPECT_EQ(parsed.options.birdFilePath, c.birdFile) << words;
        EXPECT_EQ(parsed.options.serialPort, c.serialPort) << words;
        EXPECT_EQ(parsed.options.override, c.override) << words;
        EXPECT_EQ(parsed.options.commandFlags, c.flags) << words;
    }
}

TEST(CommandLine, ValuesOfEveryArgumentOption) {
    Parsed parsed = parse({"-d", "0x40F5849A", "-r", "D272031D", "-t", "TCPIP",
                           "-o", "9600",       "-b", "0099",     "-i", "/home/me/x",
                           "-l", "note",       "-k", "my.log",   "-u", "http://127.0.0.1:9/cgi/u",
                           "-e", "1",          "-n"});
    const UpdaterOptions &o = parsed.options;
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(o.deviceSerial, 0x40F5849Au);
    EXPECT_EQ(o.routerSerial, 0xD272031Du);
    EXPECT_EQ(o.transport, TransportTCPIP);
    EXPECT_TRUE(o.transportGiven);
    EXPECT_EQ(o.baudRate, 9600u);
    EXPECT_EQ(o.buildNumber, "99");
    EXPECT_EQ(o.storageDirectory, "/home/me/x");
    EXPECT_EQ(o.historyMessage, "note");
    EXPECT_EQ(o.logFileName, "my.log");
    EXPECT_EQ(o.serverUrl, "http://127.0.0.1:9/cgi/u");
    EXPECT_TRUE(o.echo);
    EXPECT_TRUE(o.nFlag);
}

TEST(CommandLine, LenientValues) {
    struct Case {
        std::vector<const char *> words;
        std::string build;
        uint32_t baud;
        int32_t transport;
    } cases[] = {
        {{"-b", "12ab"}, "0", 115200, TransportUSB},
        {{"-o", "fast"}, "", 0, TransportUSB},
        {{"-t", "USBX"}, "", 115200, TransportUSB},
        {{"-t", "TCP"}, "", 115200, TransportTCPIP},
        {{"-t", "RECOVERY"}, "", 115200, TransportRecover},
        {{"-b", "99999999999"}, "4294967295", 115200, TransportUSB},
    };
    for (const auto &c : cases) {
        Parsed parsed = parse(c.words);
        EXPECT_EQ(parsed.result, 0) << c.words[0] << " " << c.words[1];
        EXPECT_EQ(parsed.options.buildNumber, c.build);
        EXPECT_EQ(parsed.options.baudRate, c.baud);
        EXPECT_EQ(parsed.options.transport, c.transport);
    }
}

TEST(CommandLine, RejectedValues) {
    Parsed parsed = parse({"-t", "tcp"});
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.options.transport, TransportInvalid);
    EXPECT_TRUE(parsed.options.transportGiven);
    parsed = parse({"-d", "0x"});
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.options.deviceSerial, 0u);
    ASSERT_EQ(parsed.errors.size(), 1u);
    EXPECT_EQ(parsed.errors[0], "Invalid serial number obtained from argument []");
}

TEST(CommandLine, HelpStopsAtOnceWithResultZero) {
    Parsed parsed = parse({"-d", "zz", "--help", "-Y", "-D"});
    EXPECT_EQ(parsed.result, 0);
    EXPECT_TRUE(parsed.options.helpRequested);
    EXPECT_EQ(parsed.options.commandFlags, 0x80000000u);
    EXPECT_EQ(parsed.errors.size(), 1u);
}

TEST(CommandLine, DebugMaskValuesAccumulate) {
    Parsed parsed = parse({"-X", "1", "-X", "0x4"});
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options.debugMaskValue, 4u);
    EXPECT_EQ(debugMask() & 0x5u, 0x5u);
    parsed = parse({"-X", "0x40zz"});
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(debugMask() & 0x40u, 0u);
    ASSERT_EQ(parsed.errors.size(), 1u);
    EXPECT_EQ(parsed.errors[0], "Invalid format for \"-X\" parameter, unprocessed characters [zz]");
}

TEST(CommandLine, ProgramNameIsTheLastPathComponent) {
    RecordingDisplay display;
    for (const char *path : {"C:\\tools\\Updater.exe", "./bin/Updater.exe", "Updater.exe"}) {
        UpdaterOptions options;
        const char *argv[] = {path};
        parseCommandLine(&display, 1, argv, options);
        EXPECT_EQ(options.programName, "Updater.exe") << path;
    }
    UpdaterOptions options;
    parseCommandLine(&display, 0, nullptr, options);
    EXPECT_EQ(options.programName, "");
}
