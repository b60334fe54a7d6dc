// Helpers shared by the fuzz targets: turning fuzzer bytes into text and
// failing loudly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "foundation/VxString.h"

// The first byte chooses the reading: even, the rest is UTF-8 (readable seeds);
// odd, the rest is raw little-endian UTF-16 code units (lone surrogates, NULs).
inline VxString FuzzText(const uint8_t* data, size_t size) {
  if (size == 0)
    return VxString();
  if ((data[0] & 1) == 0)
    return VxString::FromUtf8(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  VxString text;
  for (size_t i = 1; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
