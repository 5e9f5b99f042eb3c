#include "BirdFile.h"

#include "Messages.h"

#include <quillmark/vFile.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>
#include <zlib.h>

namespace {

constexpr size_t kHeaderSize = 6;       // "bird" and the two header bytes
constexpr size_t kObjectHeaderSize = 5; // type byte and 32-bit length
constexpr size_t kWordSize = 4;
constexpr size_t kFieldSize = 16; // one descriptor text field
constexpr int kDescriptorFields = 4;
constexpr uint64_t kInflationFactor = 8;
constexpr uint32_t kSerialDigits = 8;

uint32_t bigEndian32(const uint8_t *bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

uint32_t littleEndian32(const uint8_t *bytes) {
    return uint32_t{bytes[3]} << 24 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 |
           uint32_t{bytes[0]};
}

void putLittleEndian32(uint8_t *bytes, uint32_t value) {
    for (size_t i = 0; i < kWordSize; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The fewest data bytes an object of each type needs for the fields read from it.
uint32_t minimumLength(uint8_t type) {
    switch (type) {
    case BIRD_OBJ_LOADER:
    case BIRD_OBJ_FIRMWARE:
    case BIRD_OBJ_ENTRY:
        return kWordSize;
    case BIRD_OBJ_OFFSETS:
        return 2 * kWordSize;
    case BIRD_OBJ_DESCRIPTOR:
        return kDescriptorFields * kFieldSize;
    default:
        return 0;
    }
}

// A 16-character field ends early at a terminator, as a C text would.
std::string fieldText(const char *field) {
    return std::string(field, strnlen(field, kFieldSize));
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Whether the span [start, start + size) lies inside the image [base, base + imageSize).
bool spanInside(uint32_t start, uint64_t size, uint32_t base, uint64_t imageSize) {
    return start >= base && uint64_t{start} + size <= uint64_t{base} + imageSize;
}

} // namespace

BirdFile::BirdFile() = default;

BirdFile::BirdFile(const std::string &name) : filename(name) {
    assert(this->filename.length() > 0);
    if (!load()) {
        throw std::runtime_error("Failed to load bird data");
    }
}

BirdFile::BirdFile(BirdFile &&other) noexcept {
    *this = std::move(other);
}

BirdFile &BirdFile::operator=(BirdFile &&other) noexcept {
    if (this != &other) {
        filename = std::exchange(other.filename, {});
        magicWord = std::exchange(other.magicWord, 0);
        headerWord = std::exchange(other.headerWord, 0);
        checksum = std::exchange(other.checksum, 0);
        parsedObjects = std::exchange(other.parsedObjects, 0);
        objectList = std::exchange(other.objectList, {});
        offsetsPresent = std::exchange(other.offsetsPresent, false);
        serialAddress = std::exchange(other.serialAddress, 0);
        descriptorTextAddress = std::exchange(other.descriptorTextAddress, 0);
        inflated = std::move(other.inflated);
        inflatedSize = std::exchange(other.inflatedSize, 0);
    }
    return *this;
}

bool BirdFile::isBirdFile(const std::string &path) {
    vFileHandle file = vFile_Open(path.c_str(), vFileModeRead);
    if (file == nullptr) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", path.c_str());
        return false;
    }
    uint8_t header[kHeaderSize];
    size_t count = 0;
    vFile_Read(file, header, sizeof header, &count);
    vFile_Close(&file);
    return count == kHeaderSize && std::memcmp(header, "bird", 4) == 0 && header[4] != 0 &&
           header[5] != 0;
}

bool BirdFile::load() {
    const char *name = filename.c_str();
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Loading File [%s]\n", name);
    if (!vFile_Exists(name)) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: BIRD file not found [%s]\n", name);
        return false;
    }
    vFileHandle file = vFile_Open(name, vFileModeRead);
    if (file == nullptr) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", name);
        return false;
    }
    bool loaded = readAndInflate(file);
    if (firstObject(BIRD_OBJ_OFFSETS) != nullptr) {
        offsetsPresent = true;
        readOffsets();
    }
    vFile_Close(&file);
    return loaded;
}

bool BirdFile::readAndInflate(vFileHandle file) {
    const char *name = filename.c_str();
    uint64_t size = 0;
    if (vErr error = vFile_GetSize(file, &size); error != vErrNone) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) getting bird file size from %s\n", error,
                   name);
        return false;
    }
    std::unique_ptr<uint8_t[]> content(new (std::nothrow) uint8_t[std::max<uint64_t>(size, 1)]);
    if (content == nullptr) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) reading %s\n", vErrMemory, name);
        return false;
    }
    size_t count = 0;
    if (vErr error = vFile_Read(file, content.get(), size, &count); error != vErrNone) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) reading %s\n", error, name);
        return false;
    }
    if (count < size) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error reading %s read %zu bytes of %zu byte file\n",
                   name, count, static_cast<size_t>(size));
        return false;
    }
    if (size > kHeaderSize) {
        magicWord = bigEndian32(content.get());
        headerWord = uint32_t{content[4]} << 8 | content[5];
        return inflate(content.get() + kHeaderSize, size - kHeaderSize);
    }
    return inflate(content.get(), 0);
}

bool BirdFile::inflate(const uint8_t *compressed, size_t length) {
    // The inflated length is kept in 32 bits, so the room is capped there too.
    uLongf capacity = std::min<uint64_t>(kInflationFactor * length, UINT32_MAX);
    inflated.reset(new (std::nothrow) uint8_t[std::max<uLongf>(capacity, 1)]);
    inflatedSize = 0;
    int result = inflated == nullptr ? Z_MEM_ERROR
                                     : uncompress(inflated.get(), &capacity, compressed, length);
    if (result != Z_OK) {
        debugPrint(DEBUG_BirdFile, "BIRDFILE: Error (%d) decompressing bird file.\n", result);
        return false;
    }
    inflatedSize = static_cast<uint32_t>(capacity);
    parseObjects();
    readOffsets();
    return true;
}

// Every object must lie wholly inside the inflated data and hold the fields read from it; the
// first one that does not ends the walk, and the bytes left over show in the size mismatch.
bool BirdFile::parseObjects() {
    const uint8_t *data = inflated.get();
    const auto length = static_cast<int64_t>(inflatedSize);
    parsedObjects = 0;
    objectList.clear();
    uint32_t declared = length >= static_cast<int64_t>(kWordSize) ? bigEndian32(data) : 0;
    debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t File reports %d blocks\n", declared);
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Bird file objects:\n");
    debugPrint(DEBUG_BirdFile, "BIRDFILE: \t\tType Flags Length\n");

    int64_t position = kWordSize;
    while (length - position > static_cast<int64_t>(kWordSize)) {
        const uint8_t *header = data + position;
        BirdObject object;
        object.type = header[0] & 0x1F;
        object.flags = header[0] >> 5;
        object.length = bigEndian32(header + 1);
        object.data = const_cast<uint8_t *>(header + kObjectHeaderSize);
        int64_t room = length - position - static_cast<int64_t>(kObjectHeaderSize);
        if (object.length > room || object.length < minimumLength(object.type)) {
            break;
        }
        if (object.type == BIRD_OBJ_LOADER || object.type == BIRD_OBJ_FIRMWARE) {
            object.address = bigEndian32(object.data);
        }
        debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t %02X   %02X   %d\n", object.type, object.flags,
                   object.length);
        if (object.type == BIRD_OBJ_DESCRIPTOR) {
            for (int field = 0; field < kDescriptorFields; ++field) {
                debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t \t[%16.16s]\n",
                           reinterpret_cast<const char *>(object.data) + field * kFieldSize);
            }
        }
        objectList.push_back(object);
        ++parsedObjects;
        position += static_cast<int64_t>(kObjectHeaderSize) + object.length;
    }

    int64_t remaining = length - position;
    checksum = remaining >= static_cast<int64_t>(kWordSize) ? bigEndian32(data + position) : 0;
    debugPrint(DEBUG_BirdFile, "BIRDFILE:\t\t File checksum %08X\n", checksum);
    bool consistent = true;
    if (remaining != static_cast<int64_t>(kWordSize)) {
        debugPrint(DEBUG_BirdFile,
                   "BIRDFILE: Block parsing mismatch in data size. (%d bytes remaining)\n",
                   static_cast<int>(remaining - static_cast<int64_t>(kWordSize)));
        consistent = false;
    }
    if (parsedObjects != declared) {
        debugPrint(DEBUG_BirdFile,
                   "BIRDFILE: Block parsing mismatch in number of blocks. (%d != %d)\n",
                   parsedObjects, declared);
        consistent = false;
    }
    return consistent;
}

void BirdFile::readOffsets() {
    if (parsedObjects == 0) {
        return;
    }
    const BirdObject *offsets = firstObject(BIRD_OBJ_OFFSETS);
    if (offsets == nullptr) {
        return;
    }
    serialAddress = bigEndian32(offsets->data);
    descriptorTextAddress = bigEndian32(offsets->data + kWordSize);
    debugPrint(DEBUG_BirdFile, "BIRDFILE: Offsets: Serial number: %d, Descriptor: %d\n",
               static_cast<int32_t>(serialAddress), static_cast<int32_t>(descriptorTextAddress));
}

const BirdObject *BirdFile::firstObject(uint8_t type) const {
    auto found = std::find_if(objectList.begin(), objectList.end(),
                              [type](const BirdObject &object) { return object.type == type; });
    return found == objectList.end() ? nullptr : &*found;
}

const char *BirdFile::descriptorField(int index) const {
    const BirdObject *descriptor = firstObject(BIRD_OBJ_DESCRIPTOR);
    return descriptor == nullptr
               ? nullptr
               : reinterpret_cast<const char *>(descriptor->data) + index * kFieldSize;
}

std::vector<BirdObject> BirdFile::getObjects(uint8_t type) const {
    std::vector<BirdObject> matching;
    std::copy_if(objectList.begin(), objectList.end(), std::back_inserter(matching),
                 [type](const BirdObject &object) { return object.type == type; });
    return matching;
}

std::string BirdFile::getVersion() const {
    const char *field = descriptorField(1);
    if (field == nullptr) {
        return {};
    }
    std::string version = fieldText(field);
    return version.substr(0, version.find(' '));
}

uint32_t BirdFile::getDescriptorSerial() const {
    const char *field = descriptorField(2);
    uint32_t serial = 0;
    for (uint32_t i = 0; field != nullptr && i < kSerialDigits; ++i) {
        int digit = hexDigitValue(field[i]);
        if (digit < 0) {
            break;
        }
        serial = serial << 4 | static_cast<uint32_t>(digit);
    }
    return serial;
}

bool BirdFile::serialNumberMatches(uint32_t serial) const {
    return getDescriptorSerial() == serial;
}

bool BirdFile::modelMatches(const char *modelName) const {
    const char *field = descriptorField(3);
    if (field == nullptr || modelName == nullptr) {
        return false;
    }
    std::string stored = fieldText(field);
    stored.erase(stored.find_last_not_of(' ') + 1);
    size_t wanted = std::strlen(modelName);
    if (stored.size() < wanted || stored.compare(0, wanted, modelName) != 0) {
        return false;
    }
    debugPrint(DEBUG_BirdFile, "Model matches model number ([%s] == [%s])\n", stored.c_str(),
               modelName);
    return true;
}

bool BirdFile::setSerialNumber(uint32_t serial) {
    char digits[kSerialDigits + 1];
    std::snprintf(digits, sizeof digits, "%08X", serial);
    bool written = false;
    for (const BirdObject &object : objectList) {
        if (object.type != BIRD_OBJ_FIRMWARE) {
            continue;
        }
        uint8_t *image = object.data + kWordSize;
        uint64_t imageSize = object.length - kWordSize;
        if (serialAddress != 0 && spanInside(serialAddress, kWordSize, object.address, imageSize)) {
            uint8_t *field = image + (serialAddress - object.address);
            debugPrint(DEBUG_BirdFile, "BIRDFILE: updating serial number from %08X ==> %08X\n",
                       littleEndian32(field), serial);
            putLittleEndian32(field, serial);
            written = true;
        }
        if (descriptorTextAddress != 0 &&
            spanInside(descriptorTextAddress, kFieldSize, object.address, imageSize)) {
            // The image keeps its descriptor as 16-bit characters: only the low bytes change.
            uint8_t *text = image + (descriptorTextAddress - object.address);
            for (uint32_t i = 0; i < kSerialDigits; ++i) {
                text[2 * i] = static_cast<uint8_t>(digits[i]);
            }
            written = true;
        }
    }
    return written;
}

bool BirdFile::scrambleImages(const std::array<uint32_t, 4> &key) {
    uint8_t stream[kFieldSize];
    for (size_t word = 0; word < key.size(); ++word) {
        for (size_t byte = 0; byte < kWordSize; ++byte) {
            stream[word * kWordSize + byte] =
                static_cast<uint8_t>(key[word] >> (8 * (kWordSize - 1 - byte)));
        }
    }
    for (const BirdObject &object : objectList) {
        if (object.type != BIRD_OBJ_FIRMWARE) {
            continue;
        }
        uint8_t *image = object.data + kWordSize;
        uint8_t previous = 0;
        for (uint32_t i = 0; i < object.length - kWordSize; ++i) {
            previous = image[i] ^ stream[i % kFieldSize] ^ previous;
            image[i] = previous;
        }
    }
    return true;
}
