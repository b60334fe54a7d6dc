// The string library's 256-entry character tables.
//
// VxLower maps a code unit to lower case with the C runtime's locale-dependent
// wide mapping. Code units below 256 are read from a table built once on first
// use (hashing and comparing keys sits on hot paths); the rest go to towlower.
// VxRebuildCharTables rebuilds the table after the runtime locale changed; the
// module calls it once at start-up, before any other thread exists.
#pragma once

char16_t VxLower(char16_t c);
// The 256-entry table behind VxLower, for loops that fold many code units.
const char16_t* VxLowerTable();
void VxRebuildCharTables();
