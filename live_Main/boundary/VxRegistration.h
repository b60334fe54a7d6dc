// The registration record of one source in the host's settings: the key
// "Plugins\Live\<name>" with its eight values. Written on the host's thread by
// DllRegisterServer; write failures leave the record incomplete, no more.
#pragma once

#include <cstdint>

#include "foundation/VxString.h"

// Writes the record of the source called `name` found at factory `index`,
// with `modulePath` as its "Path".
void VxWriteRegistration(int32_t index, const VxString& name, const VxString& modulePath);
