// Text-to-number and number-to-text conversions shared by the foundation.
//
// Contract: conversions from text never fail. They skip leading white space,
// take one optional "+" or "-", read digits up to the first character that does
// not belong, give 0 when there are no digits and saturate on overflow. A null
// pointer reads as the empty text. All functions are pure and thread-safe; none
// depends on the runtime locale.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/VxString.h"

// Decimal digits '0'-'9'; overflow gives 2147483647, or -2147483647 with a minus
// sign (never -2147483648).
int32_t VxParseInt32(const char16_t* text);
int32_t VxParseInt32(std::u16string_view text);
// The same with 9223372036854775807 and -9223372036854775807.
int64_t VxParseInt64(const char16_t* text);
int64_t VxParseInt64(std::u16string_view text);
// Hexadecimal digits of either case. A value that would pass 64 bits gives all
// bits set; a minus sign negates in two's complement, so overflow with a minus
// sign gives 1.
uint64_t VxParseHex64(const char16_t* text);
uint64_t VxParseHex64(std::u16string_view text);
// Like VxParseInt32, but any script's decimal digits count (Arabic-Indic,
// Devanagari, Thai, fullwidth and the other decimal-digit blocks of the BMP).
// Value of an ASCII hexadecimal digit of either case, or -1.
int VxHexDigitValue(char16_t c);

int32_t ToInt(const char16_t* text);
int32_t ToInt(std::u16string_view text);
// The decimal value of a decimal-digit code unit of any script, or -1.
int VxDecimalDigitValue(char16_t c);
// Decimal number with an optional fraction after "." or "," and an optional
// exponent ("e" or "E", sign, digits). Magnitudes beyond the double range give
// +-DBL_MAX; too small ones give 0.
double VxParseDouble(const char16_t* text);
double VxParseDouble(std::u16string_view text);

// Shortest text that reads back as the same double, written with "." and at
// most 16 decimals (values needing more are rounded to 16), trailing zeros
// dropped; integral values have no decimal point. Never uses an exponent.
// Negative zero is written "0"; infinities and NaN as "inf", "-inf", "nan".
VxString VxFormatDouble(double value);
// Decimal text of an integer.
VxString VxFormatInt64(int64_t value);
// Sixteen upper-case hexadecimal digits, as "%p" writes a 64-bit value.
VxString VxFormatPointer(uint64_t value);
