#pragma once
#include <quillmark/vFile.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Object types of a BIRD file's inflated stream. Other values are kept and listed like any
// object but carry no meaning here.
enum BirdObjectType : uint8_t {
    BIRD_OBJ_LOADER = 0,
    BIRD_OBJ_FIRMWARE = 1,
    BIRD_OBJ_OFFSETS = 2,
    BIRD_OBJ_DESCRIPTOR = 4,
    BIRD_OBJ_ENTRY = 5,
};

// One parsed object. data points into the owning BirdFile's inflated buffer and stays valid as
// long as that file holds the buffer.
struct BirdObject {
    uint8_t type = 0;     // low five bits of the type byte
    uint8_t flags = 0;    // high three bits of the type byte, shifted down
    uint32_t length = 0;  // data length, including the 4 address bytes of image objects
    uint32_t address = 0; // load address of loader and firmware images, else 0
    uint8_t *data = nullptr;
};

// A BIRD firmware file loaded into memory: "bird", two header bytes, and a zlib stream of typed
// objects. The file is only read; edits (serial number, scrambling) change the image in memory.
class BirdFile {
  public:
    BirdFile();
    // Loads and parses the file; throws std::runtime_error("Failed to load bird data").
    explicit BirdFile(const std::string &filename);
    BirdFile(BirdFile &&other) noexcept;
    BirdFile &operator=(BirdFile &&other) noexcept;
    BirdFile(const BirdFile &) = delete;
    BirdFile &operator=(const BirdFile &) = delete;
    ~BirdFile() = default;

    // True when the file starts with "bird" and two non-zero header bytes.
    static bool isBirdFile(const std::string &path);

    std::vector<BirdObject> getObjects(uint8_t type) const;
    // The descriptor's version text up to its first space; empty without a descriptor.
    std::string getVersion() const;
    // The descriptor's serial number (its leading hexadecimal digits); 0 without a descriptor.
    uint32_t getDescriptorSerial() const;
    bool serialNumberMatches(uint32_t serial) const;
    // True when the descriptor's model name, trailing spaces removed, begins with modelName.
    bool modelMatches(const char *modelName) const;
    // Writes serial into every firmware image that holds the serial-number or descriptor
    // address; false when nothing was written.
    bool setSerialNumber(uint32_t serial);
    // XOR-chains every firmware image with the 16-byte key (words most significant byte
    // first), the chain and key position restarting at each image.
    bool scrambleImages(const std::array<uint32_t, 4> &key);

    const std::string &getFilename() const { return filename; }
    uint32_t getMagicWord() const { return magicWord; }
    uint32_t getHeaderWord() const { return headerWord; }
    uint32_t getChecksum() const { return checksum; }
    uint32_t objectCount() const { return parsedObjects; }
    bool hasOffsets() const { return offsetsPresent; }
    const std::vector<BirdObject> &objects() const { return objectList; }
    uint32_t serialNumberAddress() const { return serialAddress; }
    uint32_t descriptorAddress() const { return descriptorTextAddress; }
    const uint8_t *inflatedData() const { return inflated.get(); }
    uint32_t inflatedLength() const { return inflatedSize; }

  private:
    bool load();
    bool readAndInflate(vFileHandle file);
    bool inflate(const uint8_t *compressed, size_t length);
    bool parseObjects();
    void readOffsets();
    const BirdObject *firstObject(uint8_t type) const;
    const char *descriptorField(int index) const;

    std::string filename;
    uint32_t magicWord = 0;
    uint32_t headerWord = 0;
    uint32_t checksum = 0;
    uint32_t parsedObjects = 0;
    std::vector<BirdObject> objectList;
    bool offsetsPresent = false;
    uint32_t serialAddress = 0;
    uint32_t descriptorTextAddress = 0;
    // Left uninitialised on allocation: zlib writes what is used, the rest is never read.
    std::unique_ptr<uint8_t[]> inflated;
    uint32_t inflatedSize = 0;
};
