// Percent encoding of parameter values.
//
// VxUrlEncode keeps A-Z, a-z, 0-9, "-", ".", "_" and "~" and writes every other
// character as its UTF-8 bytes, each as "%" and two upper-case hexadecimal
// digits (surrogate pairs combine; a lone surrogate is encoded as U+FFFD).
// VxUrlDecode turns "+" into a blank and each "%" followed by two hexadecimal
// digits into that byte value, once (decoded text is not decoded again); a "%"
// without two hexadecimal digits stays as it is. When any decoded byte is 0x80
// or above, the decoded text is then read as UTF-8, one byte per code unit
// (code units above 0xFF, which cannot be bytes, are kept as they are).
// Both are pure and thread-safe.
#pragma once

#include "foundation/VxString.h"

VxString VxUrlEncode(const VxString& text);
VxString VxUrlDecode(const VxString& text);
