#pragma once
#include <cstdint>

// Both accept only texts made entirely of their digits (an empty text converts to 0) and
// saturate at 0xFFFFFFFF. Otherwise, or with a null end, they give 0 and leave end untouched;
// on success end points at the text's terminator.
uint32_t parseHexSerial(const char *text, const char **end);
uint32_t parseDecimal(const char *text, const char **end);
