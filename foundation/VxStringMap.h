// VxStringMap: the map behind VxPropertyMap, text keys matched without regard
// to case, text values. Bucket layout, rehashing and iteration order are
// VxMapBase's (see there); this class supplies the key rules.
//
// Hash: h = h * 65599 + lower(c) over the UTF-16 code units in unsigned 32-bit
// arithmetic, lower() being VxLower (a table for code units below 256); an
// empty key hashes to 0. Keys are equal when they are equal code unit by code
// unit after lower().
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/VxMap.h"
#include "foundation/VxString.h"

class VxStringMap final
    : public VxMap<VxString, std::u16string_view, VxString, std::u16string_view, 1> {
 public:
  static uint32_t HashText(std::u16string_view key);
  static bool TextEqualNoCase(std::u16string_view a, std::u16string_view b);

  uint32_t Hash(std::u16string_view key) const override { return HashText(key); }
  bool KeysEqual(std::u16string_view a, std::u16string_view b) const override {
    return TextEqualNoCase(a, b);
  }
};
