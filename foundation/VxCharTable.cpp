#include "foundation/VxCharTable.h"

#include <cwctype>

namespace {

struct LowerTable {
  char16_t lower[256];
  LowerTable() { Build(); }
  void Build() {
    for (int c = 0; c < 256; ++c)
      lower[c] = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
  }
};

LowerTable& Table() {
  static LowerTable table;
  return table;
}

}  // namespace

char16_t VxLower(char16_t c) {
  if (c < 256)
    return Table().lower[c];
  return static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

const char16_t* VxLowerTable() {
  return Table().lower;
}

void VxRebuildCharTables() {
  Table().Build();
}
