#include "BirdFile.h"

#include "support/BirdWriter.h"
#include "support/DebugCapture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr unsigned kBirdMask = 0x8;

class BirdFileTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;
    int files = 0;

    // Writes one file per plan, all in one run of the writer.
    std::vector<std::string> birds(const std::vector<std::string> &plans) {
        std::vector<std::pair<std::string, std::string>> batch;
        std::vector<std::string> paths;
        for (const std::string &plan : plans) {
            paths.push_back(directory.file("build" + std::to_string(files++) + ".bird"));
            batch.emplace_back(paths.back(), plan);
        }
        writeBirdFiles(batch);
        return paths;
    }

    std::string bird(const std::string &plan) { return birds({plan})[0]; }

    // One file per case of a table, the plan of each made from its case.
    template <typename Case, size_t N, typename MakePlan>
    std::vector<std::string> birdsFor(const Case (&cases)[N], MakePlan makePlan) {
        std::vector<std::string> plans;
        for (const Case &c : cases) {
            plans.push_back(makePlan(c));
        }
        return birds(plans);
    }

    std::string rawFile(const std::string &content) {
        std::string path = directory.file("raw" + std::to_string(files++) + ".bird");
        writeWholeFile(path, content);
        return path;
    }

    // Loads path, expecting success, and returns what the loader logged under 0x8.
    std::string loadLog(const std::string &path, BirdFile &loaded) {
        DebugCapture capture(kBirdMask);
        loaded = BirdFile(path);
        return capture.text();
    }

    // Loads path, expecting "Failed to load bird data", and returns the log.
    std::string failedLoadLog(const std::string &path) {
        DebugCapture capture(kBirdMask);
        try {
            BirdFile loaded(path);
            ADD_FAILURE() << path << " loaded";
        } catch (const std::runtime_error &error) {
            EXPECT_STREQ(error.what(), "Failed to load bird data");
        }
        return capture.text();
    }
};

const char *const kDescriptor = R"({"kind": "descriptor", "name": "Build 77",
    "version": "1.2.3 beta", "serial": "40F5849A", "model": "Nutmeg"})";

std::string plan(const std::string &objects, const std::string &extra = "") {
    return R"({"objects": [)" + objects + "]" + (extra.empty() ? "" : ", " + extra) + "}";
}

// A file holding one descriptor whose named field has the given text.
std::string descriptorWith(const char *field, const char *text) {
    return plan(std::string(R"({"kind": "descriptor", ")") + field + R"(": ")" + text + "\"}");
}

std::string firmware(uint32_t address, const std::string &hex, int flags = 0) {
    return R"({"kind": "firmware", "address": )" + std::to_string(address) + R"(, "hex": ")" + hex +
           R"(", "flags": )" + std::to_string(flags) + "}";
}

std::string offsets(uint32_t serial, uint32_t descriptor) {
    return R"({"kind": "offsets", "serial_address": )" + std::to_string(serial) +
           R"(, "descriptor_address": )" + std::to_string(descriptor) + "}";
}

std::string hexBytes(size_t count, int value) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        hex += digits[(value >> 4) & 0xF];
        hex += digits[value & 0xF];
    }
    return hex;
}

std::vector<uint8_t> imageBytes(const BirdObject &object) {
    return std::vector<uint8_t>(object.data + 4, object.data + object.length);
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(BirdFileTest, LoadsObjectsInFileOrderWithTheirFields) {
    std::string path = bird(plan(std::string(R"({"kind": "loader", "address": 536870912,
        "hex": "aabbcc", "flags": 2},)") +
                                     firmware(0x8000, "0102030405", 5) + "," + kDescriptor + "," +
                                     offsets(0x8001, 0x8002) +
                                     R"(, {"kind": "entry", "address": 32769},
        {"kind": "raw", "type": 9, "hex": "ff"})",
                                 R"("checksum": 305419896)"));
    BirdFile loaded;
    loadLog(path, loaded);
    EXPECT_EQ(loaded.getFilename(), path);
    EXPECT_EQ(loaded.getMagicWord(), 0x62697264u);
    EXPECT_EQ(loaded.getHeaderWord(), 0x0101u);
    EXPECT_EQ(loaded.getChecksum(), 0x12345678u);
    ASSERT_EQ(loaded.objectCount(), 6u);
    const auto &objects = loaded.objects();
    struct Expected {
        uint8_t type, flags;
        uint32_t length, address;
    } expected[] = {{BIRD_OBJ_LOADER, 2, 7, 0x20000000}, {BIRD_OBJ_FIRMWARE, 5, 9, 0x8000},
                    {BIRD_OBJ_DESCRIPTOR, 0, 64, 0},     {BIRD_OBJ_OFFSETS, 0, 8, 0},
                    {BIRD_OBJ_ENTRY, 0, 4, 0},           {9, 0, 1, 0}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(objects[i].type, expected[i].type) << i;
        EXPECT_EQ(objects[i].flags, expected[i].flags) << i;
        EXPECT_EQ(objects[i].length, expected[i].length) << i;
        EXPECT_EQ(objects[i].address, expected[i].address) << i;
    }
    EXPECT_EQ(imageBytes(objects[1]), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(objects[5].data[0], 0xFF);
    EXPECT_TRUE(loaded.hasOffsets());
    EXPECT_EQ(loaded.serialNumberAddress(), 0x8001u);
    EXPECT_EQ(loaded.descriptorAddress(), 0x8002u);
    EXPECT_EQ(loaded.getObjects(BIRD_OBJ_FIRMWARE).size(), 1u);
    EXPECT_EQ(loaded.getObjects(BIRD_OBJ_FIRMWARE)[0].data, objects[1].data);
    EXPECT_TRUE(loaded.getObjects(3).empty());
}

TEST_F(BirdFileTest, DescriptorQueries) {
    BirdFile loaded(bird(plan(kDescriptor)));
    EXPECT_EQ(loaded.getVersion(), "1.2.3");
    EXPECT_EQ(loaded.getDescriptorSerial(), 0x40F5849Au);
    EXPECT_TRUE(loaded.serialNumberMatches(0x40F5849A));
    EXPECT_FALSE(loaded.serialNumberMatches(0x40F5849B));
    EXPECT_FALSE(loaded.hasOffsets());
}

TEST_F(BirdFileTest, DescriptorSerialStopsAtTheFirstNonHexCharacter) {
    struct Case {
        const char *text;
        uint32_t serial;
    } cases[] = {{"40f5849a", 0x40F5849A},
                 {"12G45678", 0x12},
                 {"", 0},
                 {"ABCDEF0123", 0xABCDEF01},
                 {" 1234567", 0}};
    std::vector<std::string> paths =
        birdsFor(cases, [](const auto &c) { return descriptorWith("serial", c.text); });
    for (size_t i = 0; i < std::size(cases); ++i) {
        BirdFile loaded(paths[i]);
        EXPECT_EQ(loaded.getDescriptorSerial(), cases[i].serial) << cases[i].text;
    }
}

TEST_F(BirdFileTest, VersionEndsAtTheFirstSpace) {
    struct Case {
        const char *field;
        const char *version;
    } cases[] = {
        {"1.2.3 beta", "1.2.3"}, {"1234567890123456", "1234567890123456"}, {"", ""}, {" 1.0", ""}};
    std::vector<std::string> paths =
        birdsFor(cases, [](const auto &c) { return descriptorWith("version", c.field); });
    for (size_t i = 0; i < std::size(cases); ++i) {
        BirdFile loaded(paths[i]);
        EXPECT_EQ(loaded.getVersion(), cases[i].version) << cases[i].field;
    }
}

TEST_F(BirdFileTest, ModelMatchesByPrefixOfTheStoredName) {
    struct Case {
        const char *stored;
        const char *given;
        bool matches;
    } cases[] = {{"Nutmeg", "Nutmeg", true},   {"Nutmeg", "NutmegX", false},
                 {"Nutmeg2", "Nutmeg", true},  {"Nutmeg", "", true},
                 {"Nut", "Nutmeg", false},     {"Nutmeg", "nutmeg", false},
                 {"Nutmeg", "Nutmeg ", false}, {"Sixteen chars ok", "Sixteen chars ok", true}};
    std::vector<std::string> paths =
        birdsFor(cases, [](const auto &c) { return descriptorWith("model", c.stored); });
    for (size_t i = 0; i < std::size(cases); ++i) {
        BirdFile loaded(paths[i]);
        EXPECT_EQ(loaded.modelMatches(cases[i].given), cases[i].matches)
            << cases[i].stored << " / " << cases[i].given;
    }
}

TEST_F(BirdFileTest, ModelMatchIsLogged) {
    BirdFile loaded(bird(plan(kDescriptor)));
    DebugCapture capture(kBirdMask);
    EXPECT_TRUE(loaded.modelMatches("Nut"));
    EXPECT_EQ(capture.text(), "Model matches model number ([Nutmeg] == [Nut])\n");
}

TEST_F(BirdFileTest, WithoutDescriptorOrOffsetsQueriesGiveEmptyAnswers) {
    BirdFile loaded(bird(plan(firmware(0x100, hexBytes(32, 0x11)))));
    EXPECT_EQ(loaded.getVersion(), "");
    EXPECT_EQ(loaded.getDescriptorSerial(), 0u);
    EXPECT_TRUE(loaded.serialNumberMatches(0));
    EXPECT_FALSE(loaded.modelMatches(""));
    EXPECT_FALSE(loaded.hasOffsets());
    EXPECT_FALSE(loaded.setSerialNumber(0x1234));
    EXPECT_EQ(imageBytes(loaded.objects()[0]), std::vector<uint8_t>(32, 0x11));
}

TEST_F(BirdFileTest, IsBirdFileChecksMagicAndHeaderBytes) {
    struct Case {
        std::string content;
        bool bird;
    } cases[] = {{std::string("bird\x01\x02") + "rest", true},
                 {std::string("bird\x01\x01"), true},
                 {std::string("BIRD\x01\x01xx"), false},
                 {std::string("bird\x00\x01xx", 8), false},
                 {std::string("bird\x01\x00xx", 8), false},
                 {std::string("bird\x01"), false},
                 {std::string(""), false}};
    for (const auto &c : cases) {
        EXPECT_EQ(BirdFile::isBirdFile(rawFile(c.content)), c.bird) << c.content;
    }
    DebugCapture capture(kBirdMask);
    std::string missing = directory.file("missing.bird");
    EXPECT_FALSE(BirdFile::isBirdFile(missing));
    EXPECT_EQ(capture.text(), "BIRDFILE: Error - cannot open bird file: '" + missing + "'\n");
}

TEST_F(BirdFileTest, LoaderAcceptsAForeignHeaderAroundAValidStream) {
    for (const std::string &path : birds({plan(kDescriptor, R"("magic_hex": "42495244")"),
                                          plan(kDescriptor, R"("header_hex": "0000")")})) {
        EXPECT_FALSE(BirdFile::isBirdFile(path)) << path;
        BirdFile loaded(path);
        EXPECT_EQ(loaded.getVersion(), "1.2.3") << path;
    }
}

TEST_F(BirdFileTest, BrokenFilesFailToLoadWithTheirDiagnostic) {
    std::string zeros(2 << 20, '0'); // 1 MiB of zero bytes deflates far below an eighth
    std::vector<std::string> broken =
        birds({plan(kDescriptor, R"("zlib_cut": 6)"), R"({"stream_hex": ")" + zeros + "\"}"});
    struct Case {
        const char *what;
        std::string path;
        std::string diagnostic;
    } cases[] = {
        {"missing", directory.file("missing.bird"), "BIRDFILE: BIRD file not found ["},
        {"empty", rawFile(""), "BIRDFILE: Error (-"},
        {"three bytes", rawFile("bir"), "BIRDFILE: Error (-"},
        {"header only", rawFile("bird\x01\x01"), "BIRDFILE: Error (-"},
        {"not zlib", rawFile("bird\x01\x01garbage!"), "BIRDFILE: Error (-3) decompressing"},
        {"truncated zlib", broken[0], "BIRDFILE: Error (-3) decompressing"},
        {"inflates past eight times", broken[1], "BIRDFILE: Error (-5) decompressing bird file.\n"},
    };
    for (const auto &c : cases) {
        std::string log = failedLoadLog(c.path);
        EXPECT_TRUE(contains(log, c.diagnostic)) << c.what << ":\n" << log;
        EXPECT_TRUE(contains(log, "BIRDFILE: Loading File [" + c.path + "]\n")) << c.what;
    }
}

TEST_F(BirdFileTest, DirectoryIsNotABirdFile) {
    std::string log = failedLoadLog(directory.path());
    EXPECT_TRUE(contains(log, "BIRDFILE: BIRD file not found [")) << log;
}

TEST_F(BirdFileTest, ObjectTableIsLoggedExactly) {
    std::string path =
        bird(plan(firmware(0x10, "0a0b", 3) + "," + kDescriptor + "," + offsets(16, 255),
                  R"("checksum": 2864434397)"));
    BirdFile loaded;
    std::string log = loadLog(path, loaded);
    std::string expected = "BIRDFILE: Loading File [" + path +
                           "]\n"
                           "BIRDFILE:\t\t File reports 3 blocks\n"
                           "BIRDFILE: Bird file objects:\n"
                           "BIRDFILE: \t\tType Flags Length\n"
                           "BIRDFILE:\t\t 01   03   6\n"
                           "BIRDFILE:\t\t 04   00   64\n"
                           "BIRDFILE:\t\t \t[Build 77        ]\n"
                           "BIRDFILE:\t\t \t[1.2.3 beta      ]\n"
                           "BIRDFILE:\t\t \t[40F5849A        ]\n"
                           "BIRDFILE:\t\t \t[Nutmeg          ]\n"
                           "BIRDFILE:\t\t 02   00   8\n"
                           "BIRDFILE:\t\t File checksum AABBCCDD\n"
                           "BIRDFILE: Offsets: Serial number: 16, Descriptor: 255\n"
                           "BIRDFILE: Offsets: Serial number: 16, Descriptor: 255\n";
    EXPECT_EQ(log, expected);
}

TEST_F(BirdFileTest, MismatchesAreLoggedButTheFileLoads) {
    struct Case {
        const char *what;
        std::string plan;
        uint32_t objects;
        std::string diagnostic;
    } cases[] = {
        {"two surplus bytes", plan(kDescriptor, R"("trailer_hex": "000000000000")"), 1,
         "BIRDFILE: Block parsing mismatch in data size. (2 bytes remaining)\n"},
        {"short checksum", plan(kDescriptor, R"("trailer_hex": "0000")"), 1,
         "BIRDFILE: Block parsing mismatch in data size. (-2 bytes remaining)\n"},
        {"declared too many", plan(kDescriptor + std::string(",") + kDescriptor, R"("count": 3)"),
         2, "BIRDFILE: Block parsing mismatch in number of blocks. (2 != 3)\n"},
        {"declared too few", plan(kDescriptor, R"("count": 0)"), 1,
         "BIRDFILE: Block parsing mismatch in number of blocks. (1 != 0)\n"},
    };
    std::vector<std::string> paths = birdsFor(cases, [](const auto &c) { return c.plan; });
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        BirdFile loaded;
        std::string log = loadLog(paths[i], loaded);
        EXPECT_EQ(loaded.objectCount(), c.objects) << c.what;
        EXPECT_TRUE(contains(log, c.diagnostic)) << c.what << ":\n" << log;
        EXPECT_EQ(loaded.getVersion(), "1.2.3") << c.what;
    }
}

TEST_F(BirdFileTest, ObjectsThatDoNotFitEndTheWalk) {
    // Each case follows one good descriptor with an object that claims more than it holds.
    struct Case {
        const char *what;
        std::string object;
        int surplus; // bytes left unparsed beyond the checksum word
    } cases[] = {
        {"length past the end",
         R"({"kind": "raw", "type": 1, "hex": "00000010aa", "length": 1000})", 10},
        {"length near 2^32", R"({"kind": "raw", "type": 7, "hex": "", "length": 4294967295})", 5},
        {"firmware without its address", R"({"kind": "raw", "type": 1, "hex": "000010"})", 8},
        {"loader without its address", R"({"kind": "raw", "type": 0, "hex": ""})", 5},
        {"short offsets", R"({"kind": "raw", "type": 2, "hex": "00000001000000"})", 12},
        {"short entry", R"({"kind": "raw", "type": 5, "hex": "000080"})", 8},
        {"short descriptor", R"({"kind": "raw", "type": 4, "hex": ")" + hexBytes(63, 0x20) + "\"}",
         68},
    };
    std::vector<std::string> paths = birdsFor(
        cases, [](const auto &c) { return plan(kDescriptor + std::string(",") + c.object); });
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        BirdFile loaded;
        std::string log = loadLog(paths[i], loaded);
        EXPECT_EQ(loaded.objectCount(), 1u) << c.what;
        EXPECT_EQ(loaded.getVersion(), "1.2.3") << c.what;
        EXPECT_FALSE(loaded.hasOffsets()) << c.what;
        EXPECT_TRUE(contains(log, "BIRDFILE: Block parsing mismatch in data size. (" +
                                      std::to_string(c.surplus) + " bytes remaining)\n"))
            << c.what << ":\n"
            << log;
        EXPECT_TRUE(contains(log, "(1 != 2)")) << c.what;
    }
}

TEST_F(BirdFileTest, TinyInflatedStreamsStayInside) {
    struct Case {
        const char *stream;
        const char *diagnostic;
    } cases[] = {{"", "(-8 bytes remaining)"},
                 {"00", "(-7 bytes remaining)"},
                 {"00000000", "(-4 bytes remaining)"},
                 {"0000000012345678", "File checksum 12345678"},
                 {"00000001040000", "(-1 bytes remaining)"}};
    std::vector<std::string> paths = birdsFor(
        cases, [](const auto &c) { return std::string(R"({"stream_hex": ")") + c.stream + "\"}"; });
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        BirdFile loaded;
        std::string log = loadLog(paths[i], loaded);
        EXPECT_EQ(loaded.objectCount(), 0u) << c.stream;
        EXPECT_TRUE(contains(log, c.diagnostic)) << c.stream << ":\n" << log;
    }
}

TEST_F(BirdFileTest, SerialNumberGoesInLittleEndianAndIntoTheDescriptorCharacters) {
    // Image at 0x1000 of 64 bytes, all 0x55; serial field at image offset 8, descriptor text
    // (16-bit characters) at offset 32.
    BirdFile loaded(bird(plan(firmware(0x1000, hexBytes(64, 0x55)) + "," + kDescriptor + "," +
                              offsets(0x1008, 0x1020))));
    DebugCapture capture(kBirdMask);
    ASSERT_TRUE(loaded.setSerialNumber(0x00ABCDEF));
    EXPECT_EQ(capture.text(), "BIRDFILE: updating serial number from 55555555 ==> 00ABCDEF\n");
    std::vector<uint8_t> expected(64, 0x55);
    expected[8] = 0xEF;
    expected[9] = 0xCD;
    expected[10] = 0xAB;
    expected[11] = 0x00;
    const char *digits = "00ABCDEF";
    for (int i = 0; i < 8; ++i) {
        expected[32 + 2 * i] = static_cast<uint8_t>(digits[i]);
    }
    EXPECT_EQ(imageBytes(loaded.objects()[0]), expected);
}

TEST_F(BirdFileTest, SerialFieldsMustLieWhollyInsideAnImage) {
    // One 32-byte image at 0x2000 (image bytes 0x2000..0x201F).
    struct Case {
        uint32_t serialAddress, descriptorAddress;
        bool written;
        int serialAt;     // image offset of the written serial, or -1
        int descriptorAt; // image offset of the written text, or -1
    } cases[] = {
        {0x2000, 0, true, 0, -1},       {0x201C, 0, true, 28, -1},      {0x201D, 0, false, -1, -1},
        {0x201F, 0, false, -1, -1},     {0x1FFF, 0, false, -1, -1},     {0x2020, 0, false, -1, -1},
        {0, 0x2010, true, -1, 16},      {0, 0x2011, false, -1, -1},     {0, 0x2000, true, -1, 0},
        {0xFFFFFFFE, 0, false, -1, -1}, {0, 0xFFFFFFF8, false, -1, -1}, {0, 0, false, -1, -1},
    };
    std::vector<std::string> paths = birdsFor(cases, [](const auto &c) {
        return plan(firmware(0x2000, hexBytes(32, 0)) + "," +
                    offsets(c.serialAddress, c.descriptorAddress));
    });
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        BirdFile loaded(paths[i]);
        EXPECT_EQ(loaded.setSerialNumber(0x40F5849A), c.written)
            << std::hex << c.serialAddress << " " << c.descriptorAddress;
        std::vector<uint8_t> expected(32, 0);
        if (c.serialAt >= 0) {
            expected[c.serialAt] = 0x9A;
            expected[c.serialAt + 1] = 0x84;
            expected[c.serialAt + 2] = 0xF5;
            expected[c.serialAt + 3] = 0x40;
        }
        for (int i = 0; c.descriptorAt >= 0 && i < 8; ++i) {
            expected[c.descriptorAt + 2 * i] = static_cast<uint8_t>("40F5849A"[i]);
        }
        EXPECT_EQ(imageBytes(loaded.objects()[0]), expected)
            << std::hex << c.serialAddress << " " << c.descriptorAddress;
    }
}

TEST_F(BirdFileTest, SerialNumberGoesOnlyIntoFirmwareImagesThatHoldIt) {
    BirdFile loaded(bird(plan(R"({"kind": "loader", "address": 4096, "hex": ")" + hexBytes(16, 0) +
                              "\"}," + firmware(0x1000, hexBytes(16, 0)) + "," +
                              firmware(0x3000, hexBytes(16, 0)) + "," + offsets(0x3004, 0))));
    ASSERT_TRUE(loaded.setSerialNumber(0x01020304));
    const auto &objects = loaded.objects();
    EXPECT_EQ(imageBytes(objects[0]), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(imageBytes(objects[1]), std::vector<uint8_t>(16, 0));
    std::vector<uint8_t> expected(16, 0);
    expected[4] = 4;
    expected[5] = 3;
    expected[6] = 2;
    expected[7] = 1;
    EXPECT_EQ(imageBytes(objects[2]), expected);
}

TEST_F(BirdFileTest, ScrambleChainsEachFirmwareImageFromItsStart) {
    const std::array<uint32_t, 4> key = {0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10};
    BirdFile loaded(bird(plan(firmware(0, hexBytes(20, 0x5A)) +
                              R"(, {"kind": "loader", "address": 0, "hex": ")" + hexBytes(4, 0x5A) +
                              "\"}," + firmware(0x100, hexBytes(3, 0xA5)))));
    EXPECT_TRUE(loaded.scrambleImages(key));
    auto expectedFor = [&key](size_t size, uint8_t fill) {
        std::vector<uint8_t> out(size);
        uint8_t previous = 0;
        for (size_t i = 0; i < size; ++i) {
            uint8_t keyByte = static_cast<uint8_t>(key[(i % 16) / 4] >> (8 * (3 - i % 4)));
            previous = static_cast<uint8_t>(fill ^ keyByte ^ previous);
            out[i] = previous;
        }
        return out;
    };
    const auto &objects = loaded.objects();
    EXPECT_EQ(imageBytes(objects[0]), expectedFor(20, 0x5A));
    EXPECT_EQ(imageBytes(objects[1]), std::vector<uint8_t>(4, 0x5A)) << "loaders stay as they are";
    EXPECT_EQ(imageBytes(objects[2]), expectedFor(3, 0xA5));
    EXPECT_EQ(objects[0].address, 0u) << "the address is not part of the image";
}

TEST_F(BirdFileTest, ScrambleWithAZeroKeyStillChainsTheBytes) {
    BirdFile loaded(bird(plan(firmware(0, "01020408"))));
    EXPECT_TRUE(loaded.scrambleImages({0, 0, 0, 0}));
    EXPECT_EQ(imageBytes(loaded.objects()[0]), (std::vector<uint8_t>{0x01, 0x03, 0x07, 0x0F}));
}

TEST_F(BirdFileTest, MovingHandsTheBufferOver) {
    BirdFile source(bird(plan(firmware(0x40, "0102") + "," + kDescriptor)));
    const uint8_t *data = source.objects()[0].data;
    BirdFile target(std::move(source));
    EXPECT_EQ(target.objects()[0].data, data);
    EXPECT_EQ(target.getVersion(), "1.2.3");
    EXPECT_EQ(source.objectCount(), 0u);
    EXPECT_TRUE(source.objects().empty());
    EXPECT_EQ(source.inflatedData(), nullptr);
    EXPECT_EQ(source.getVersion(), "");

    BirdFile assigned;
    assigned = std::move(target);
    EXPECT_EQ(imageBytes(assigned.objects()[0]), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(target.objectCount(), 0u);
}

TEST_F(BirdFileTest, SampleBuildFromTheWritersCommandLineLoads) {
    std::string path = directory.file("sample.bird");
    std::string command = std::string("python3 -S ") + QM_PEERS_DIR + "/birdfile.py --out '" +
                          path +
                          "' --version 4.5.6 --serial 40F5849A --model Oak --image-size 256"
                          " --loader-size 32 --serial-offset 16 --descriptor-offset 64"
                          " --entry 0x8001";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(BirdFile::isBirdFile(path));
    BirdFile loaded(path);
    EXPECT_EQ(loaded.getVersion(), "4.5.6");
    EXPECT_TRUE(loaded.serialNumberMatches(0x40F5849A));
    EXPECT_TRUE(loaded.modelMatches("Oak"));
    EXPECT_EQ(loaded.getObjects(BIRD_OBJ_LOADER).size(), 1u);
    EXPECT_EQ(loaded.getObjects(BIRD_OBJ_ENTRY).size(), 1u);
    ASSERT_EQ(loaded.getObjects(BIRD_OBJ_FIRMWARE).size(), 1u);
    BirdObject image = loaded.getObjects(BIRD_OBJ_FIRMWARE)[0];
    EXPECT_EQ(loaded.serialNumberAddress(), image.address + 16);
    EXPECT_EQ(loaded.descriptorAddress(), image.address + 64);
    ASSERT_TRUE(loaded.setSerialNumber(0x00ABCDEF));
    EXPECT_EQ(imageBytes(image)[16], 0xEF);
    EXPECT_EQ(imageBytes(image)[64], '0');
    EXPECT_EQ(imageBytes(image)[64 + 14], 'F');
    EXPECT_EQ(imageBytes(image)[64 + 15], 0);
}
