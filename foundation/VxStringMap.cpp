#include "foundation/VxStringMap.h"

#include <cwctype>

#include "foundation/VxCharTable.h"

namespace {

inline char16_t Fold(const char16_t* table, char16_t c) {
  return c < 256 ? table[c] : static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

}  // namespace

uint32_t VxStringMap::HashText(std::u16string_view key) {
  const char16_t* table = VxLowerTable();
  uint32_t h = 0;
  for (char16_t c : key)
    h = h * 65599u + Fold(table, c);
  return h;
}

bool VxStringMap::TextEqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  const char16_t* table = VxLowerTable();
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && Fold(table, a[i]) != Fold(table, b[i]))
      return false;
  return true;
}
