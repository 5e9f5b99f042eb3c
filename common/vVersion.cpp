#include <quillmark/vVersion.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

namespace {

constexpr uint8_t kLibraryMajor = 2;
constexpr uint8_t kLibraryMinor = 11;
constexpr uint8_t kLibraryPatch = 1;

constexpr uint32_t kCurrentLayoutMark = 0x2F000000;

struct Feature {
    const char *key;
    const char *description;
};

constexpr Feature kFeatures[] = {
    {"VERSION", "Version Query API"},
};

uint32_t topNibble(uint32_t word) {
    return word >> 28;
}

uint32_t secondNibble(uint32_t word) {
    return (word >> 24) & 0x0F;
}

} // namespace

bool vVersion_IsLegacyFormat(uint32_t word) {
    return topNibble(word) < 2 || (topNibble(word) == 2 && secondNibble(word) < 15);
}

uint8_t vVersion_ParseMajor(uint32_t word) {
    return static_cast<uint8_t>(vVersion_IsLegacyFormat(word) ? topNibble(word) : word >> 16);
}

uint8_t vVersion_ParseMinor(uint32_t word) {
    return static_cast<uint8_t>(vVersion_IsLegacyFormat(word) ? secondNibble(word) : word >> 8);
}

uint32_t vVersion_ParsePatch(uint32_t word) {
    return vVersion_IsLegacyFormat(word) ? word & 0x00FFFFFF : word & 0xFF;
}

int vVersion_ParseString(uint32_t word, char *buffer, size_t size) {
    if (buffer == nullptr) {
        return -1;
    }
    int length = std::snprintf(buffer, size, "%d.%d.%d", vVersion_ParseMajor(word),
                               vVersion_ParseMinor(word), vVersion_ParsePatch(word));
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return -1;
    }
    return length;
}

uint32_t vVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch) {
    if (major > 2 || (major == 2 && minor >= 15)) {
        return kCurrentLayoutMark | uint32_t{major} << 16 | uint32_t{minor} << 8 | patch;
    }
    return (uint32_t{major} << 4 | (minor & 0x0Fu)) << 24 | patch;
}

uint8_t vVersion_GetMajor(void) {
    return kLibraryMajor;
}

uint8_t vVersion_GetMinor(void) {
    return kLibraryMinor;
}

uint8_t vVersion_GetPatch(void) {
    return kLibraryPatch;
}

const char *vVersion_GetString(void) {
    // Built once; the initialisation of a function-local static is thread-safe.
    static const std::string text = [] {
        char buffer[15];
        std::snprintf(buffer, sizeof buffer, "%d.%d%s%d", kLibraryMajor, kLibraryMinor, ".",
                      kLibraryPatch);
        return std::string(buffer);
    }();
    return text.c_str();
}

bool vVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch) {
    return vVersion_IsAtLeastCompare(kLibraryMajor, kLibraryMinor, kLibraryPatch, major, minor,
                                     patch);
}

bool vVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint8_t patch, uint8_t major2,
                               uint8_t minor2, uint8_t patch2) {
    return std::tie(major, minor, patch) >= std::tie(major2, minor2, patch2);
}

bool vVersion_HasFeature(const char *key) {
    if (key == nullptr) {
        return false;
    }
    for (const Feature &feature : kFeatures) {
        if (std::strcmp(feature.key, key) == 0) {
            return true;
        }
    }
    return false;
}

char *vVersion_GetFeatureList(void) {
    std::string list;
    for (const Feature &feature : kFeatures) {
        if (!list.empty()) {
            list += '\n';
        }
        list.append(feature.key).append(" - ").append(feature.description);
    }
    // malloc, so that C callers and the destroyer agree on how it is released.
    char *copy = static_cast<char *>(std::calloc(list.size() + 1, 1));
    if (copy != nullptr) {
        std::memcpy(copy, list.data(), list.size());
    }
    return copy;
}

void vVersion_DestroyFeatureList(char **list) {
    if (list == nullptr) {
        return;
    }
    std::free(*list);
    *list = nullptr;
}
