#pragma once
#include <quillmark/vExport.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

// A version word packs major.minor.patch into 32 bits in one of two layouts:
//   legacy:  major in bits 31..28, minor in 27..24, patch in 23..0;
//   current: layout mark in bits 31..24 (0x2F when packed here), major 23..16, minor 15..8,
//            patch 7..0.
// A word is legacy when its top nibble is below 2, or is 2 with a second nibble below 15; any
// other word is current. 0x2F therefore never reads as a legacy word.

V_API bool vVersion_IsLegacyFormat(uint32_t word);
V_API uint8_t vVersion_ParseMajor(uint32_t word);
V_API uint8_t vVersion_ParseMinor(uint32_t word);
V_API uint32_t vVersion_ParsePatch(uint32_t word);

// Writes "major.minor.patch" into buffer; answers the number of characters written, or -1 when
// the text does not fit (or the buffer is missing).
V_API int vVersion_ParseString(uint32_t word, char *buffer, size_t size);

// Packs in the current layout when the legacy one cannot hold the major and minor (major above
// 2, or major 2 with minor 15 or more); otherwise legacy, with the patch in bits 7..0 only.
V_API uint32_t vVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch);

// The library's own version.
V_API uint8_t vVersion_GetMajor(void);
V_API uint8_t vVersion_GetMinor(void);
V_API uint8_t vVersion_GetPatch(void);
V_API const char *vVersion_GetString(void);

// True when the library's own version is at least major.minor.patch.
V_API bool vVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch);

// True when major.minor.patch is at least major2.minor2.patch2; equal versions give true.
V_API bool vVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint8_t patch, uint8_t major2,
                                     uint8_t minor2, uint8_t patch2);

// True when key names one of the library's optional features exactly (case-sensitive).
V_API bool vVersion_HasFeature(const char *key);

// A new text listing the features, "KEY - Description" each; release it with
// vVersion_DestroyFeatureList.
V_API char *vVersion_GetFeatureList(void);
V_API void vVersion_DestroyFeatureList(char **list);
